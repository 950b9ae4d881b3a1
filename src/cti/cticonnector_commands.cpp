// The command vocabulary: one command message per slot, sent at once or lost.

#include "cticonnector.h"

#include "logger.h"

#include <QBuffer>
#include <QMessageLogger>

namespace {

QByteArray pngOf(const QImage &image, int box)
{
    QByteArray png;
    if (!image.isNull()) {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.scaled(box, box, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation).save(&buffer, "PNG");
    }
    return png;
}

} // namespace

void CTIConnector::sendSimpleCommand(const QString &name)
{
    CTIMessage message(name);
    sendMessage(message);
}

void CTIConnector::sendWithId(const QString &name, const QString &key, const QString &id)
{
    CTIMessage message(name);
    message.setValue(key, id);
    sendMessage(message);
}

void CTIConnector::answer(QString id)
{
    sendWithId(QStringLiteral("answer"), QStringLiteral("callid"), id);
}

void CTIConnector::hangup(QString id, QString userid)
{
    if (id.isEmpty())
        return;
    Logger::verbose(QVariant(QStringLiteral("hanging up call with id: ") + id), Q_FUNC_INFO);
    CTIMessage message(QStringLiteral("hangup"));
    message.setValue(QStringLiteral("callid"), id);
    if (settings.isMultiUser())
        message.setValue(QStringLiteral("userid"), userid);
    sendMessage(message);
}

void CTIConnector::hold(QString callId)
{
    if (!callId.isEmpty())
        sendWithId(QStringLiteral("hold"), QStringLiteral("callid"), callId);
}

void CTIConnector::holdRetrieve(QString id)
{
    if (!id.isEmpty())
        sendWithId(QStringLiteral("holdRetrieve"), QStringLiteral("callid"), id);
}

void CTIConnector::transfer(QString id, QString target)
{
    if (id.isEmpty())
        return;
    CTIMessage message(QStringLiteral("transfer"));
    message.setValue(QStringLiteral("callid"), id);
    message.setValue(QStringLiteral("target"), target);
    sendMessage(message);
}

void CTIConnector::record(QString id)
{
    if (!id.isEmpty())
        sendWithId(QStringLiteral("record"), QStringLiteral("callid"), id);
}

void CTIConnector::dialNumber(QString number, QString userid)
{
    const bool multiUser = settings.isMultiUser();
    if (multiUser && userid.isEmpty())
        return;
    CTIMessage message(QStringLiteral("dialNumber"));
    message.setValue(QStringLiteral("number"), number);
    if (multiUser)
        message.setValue(QStringLiteral("userid"), userid);
    sendMessage(message);
}

void CTIConnector::loginPhone(QString id)
{
    sendWithId(QStringLiteral("loginPhone"), QStringLiteral("id"), id);
}

void CTIConnector::logoutPhone(QString id)
{
    sendWithId(QStringLiteral("logoutPhone"), QStringLiteral("id"), id);
}

void CTIConnector::loginQueue(QString id)
{
    sendWithId(QStringLiteral("loginQueue"), QStringLiteral("id"), id);
}

void CTIConnector::logoutQueue(QString id)
{
    sendWithId(QStringLiteral("logoutQueue"), QStringLiteral("id"), id);
}

void CTIConnector::setActiveForwardPreset(QString id)
{
    sendWithId(QStringLiteral("setActiveForwardPreset"), QStringLiteral("id"), id);
}

void CTIConnector::requestTapiUsers()
{
    sendSimpleCommand(QStringLiteral("tapiGetUsers"));
}

void CTIConnector::requestJabberBuddies()
{
    sendSimpleCommand(QStringLiteral("requestJabberBuddies"));
}

void CTIConnector::requestLineStatus()
{
    sendSimpleCommand(QStringLiteral("requestLineStatus"));
}

void CTIConnector::requestUCItems()
{
    sendSimpleCommand(QStringLiteral("requestUCItems"));
}

void CTIConnector::requestPhoneConfig()
{
    sendSimpleCommand(QStringLiteral("requestPhoneConfig"));
}

void CTIConnector::requestAddressBooks()
{
    sendSimpleCommand(QStringLiteral("getAddressbooks"));
}

void CTIConnector::requestContactTypes()
{
    sendSimpleCommand(QStringLiteral("getContactTypes"));
}

void CTIConnector::requestAddresses(QString bookId)
{
    if (bookId.isEmpty()) {
        QMessageLogger().warning("%s no bookid given!", Q_FUNC_INFO);
        return;
    }
    sendAddressPage(bookId, 10000, 0, false);
}

void CTIConnector::sendAddressPage(const QString &bookId, int limit, int offset, bool fromOtherThread)
{
    CTIMessage message(QStringLiteral("getAddresses"));
    message.setValue(QStringLiteral("bookid"), bookId);
    message.setValue(QStringLiteral("limit"), limit);
    message.setValue(QStringLiteral("offset"), offset);
    if (fromOtherThread)
        enqueue(message);
    else
        sendMessage(message);
}

void CTIConnector::requestAddressPicture(QString id)
{
    sendWithId(QStringLiteral("getAddressPicture"), QStringLiteral("id"), id);
}

void CTIConnector::saveAddress(Addresses *address)
{
    if (!address)
        return;
    CTIMessage message(QStringLiteral("saveAddress"));
    message.setValue(QStringLiteral("id"), address->id());
    message.setValue(QStringLiteral("address"), address->attributes());
    sendMessage(message);
}

void CTIConnector::deleteAddress(QString id)
{
    sendWithId(QStringLiteral("deleteAddress"), QStringLiteral("id"), id);
}

void CTIConnector::saveAddressPicture(QString id, QImage image)
{
    CTIMessage message(QStringLiteral("setAddressPicture"));
    message.setValue(QStringLiteral("id"), id);
    message.setValue(QStringLiteral("image_460"), pngOf(image, 460));
    message.setValue(QStringLiteral("image_80"), pngOf(image, 80));
    message.setValue(QStringLiteral("image_40"), pngOf(image, 40));
    sendMessage(message);
}

void CTIConnector::requestModels(QString name, QVariantMap attributes, QString sort, int limit, int offset)
{
    CTIMessage message(QStringLiteral("model"));
    message.setValue(QStringLiteral("modelCmd"), "request");
    message.setValue(QStringLiteral("modelName"), name);
    message.setValue(QStringLiteral("modelSort"), sort);
    message.setValue(QStringLiteral("modelLimit"), limit);
    message.setValue(QStringLiteral("modelOffset"), offset);
    message.setValue(QStringLiteral("modelAttributes"), attributes);
    sendMessage(message);
}
