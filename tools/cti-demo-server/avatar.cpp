#include "avatar.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

QByteArray avatarPng(const QColor &background, int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(background);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(background.lighter(170));
        const qreal unit = size / 46.0;
        painter.drawEllipse(QPointF(23 * unit, 18 * unit), 9 * unit, 9 * unit);
        painter.drawEllipse(QRectF(8 * unit, 30 * unit, 30 * unit, 32 * unit));
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}
