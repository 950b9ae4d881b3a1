#include "messagecapture.h"

#include <atomic>

namespace {
std::atomic<MessageCapture *> current{nullptr};
}

MessageCapture::MessageCapture()
{
    current = this;
    previous = qInstallMessageHandler(&MessageCapture::handler);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(previous);
    current = nullptr;
}

void MessageCapture::handler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    MessageCapture *capture = current;
    if (!capture)
        return;
    QMutexLocker lock(&capture->mutex);
    capture->captured.append(message);
}

QStringList MessageCapture::messages() const
{
    QMutexLocker lock(&mutex);
    return captured;
}

QStringList MessageCapture::matching(const QString &text) const
{
    return messages().filter(text);
}

QString MessageCapture::quoted(QString text)
{
    return text.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
}

void MessageCapture::clear()
{
    QMutexLocker lock(&mutex);
    captured.clear();
}
