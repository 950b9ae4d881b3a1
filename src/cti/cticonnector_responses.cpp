// Turns responses into records, keeps some in the stores and announces each one.

#include "cticonnector.h"

#include "cticonnectorresponsehandler.h"

#include <QDateTime>
#include <QThreadPool>

namespace {

// A line whose call started longer ago than this (or in the future) is not open any more.
constexpr quint64 maxLineAgeSeconds = 8 * 60 * 60;

template <class Record>
Record *recordFrom(const QVariant &entry)
{
    auto *record = new Record;
    record->setAttributes(entry.toMap());
    return record;
}

} // namespace

void CTIConnector::handleResponse_tapiGetUsers(CTIMessage &message)
{
    const QVariantList users = message.value(QStringLiteral("users")).toList();
    for (const QVariant &entry : users)
        tapiUsers.append(QSharedPointer<TapiUser>(recordFrom<TapiUser>(entry)));
    emit loginSuccessSignal();
}

void CTIConnector::handleResponse_requestLineStatus(CTIMessage &message)
{
    const QVariantMap lineData = message.value(QStringLiteral("lines")).toMap();
    for (const QVariant &entry : lineData) {
        Line *line = Line::fromLineData(entry.toMap());
        const qint64 age = line->timestamp().secsTo(QDateTime::currentDateTime());
        if (quint64(age) <= maxLineAgeSeconds) {
            lines.insert(line->callId(), line);
            emit lineOpenend(line);
        } else {
            delete line;
        }
    }
}

void CTIConnector::handleResponse_requestUCItems(CTIMessage &message)
{
    QThreadPool::globalInstance()->start(new CTIConnectorResponseHandler(message), 0);
}

void CTIConnector::handleResponse_getAddressbooks(CTIMessage &message)
{
    const QVariantMap books = message.value(QStringLiteral("books")).toMap();
    for (auto it = books.constBegin(); it != books.constEnd(); ++it) {
        auto *book = recordFrom<Addressbook>(it.value());
        book->setId(it.key());
        emit addressBookAdded(book);
    }
}

void CTIConnector::handleResponse_getAddresses(CTIMessage &message)
{
    emitAddressPage(message, false);
}

void CTIConnector::emitAddressPage(CTIMessage &message, bool fromOtherThread)
{
    const QVariantMap addresses = message.value(QStringLiteral("addresses")).toMap();
    const int limit = message.value(QStringLiteral("limit")).toInt();
    const int offset = message.value(QStringLiteral("offset")).toInt();
    for (auto it = addresses.constBegin(); it != addresses.constEnd(); ++it) {
        auto *address = recordFrom<Addresses>(it.value());
        address->setId(it.key());
        if (fromOtherThread)
            address->moveToThread(thread());
        emit addressAdded(address);
    }

    // A full page means there may be more. An empty page never asks again, so a server
    // that answers with limit 0 cannot make the client loop.
    const int count = addresses.size();
    if (count == 0 || count != limit)
        return;
    const QString bookId = message.value(QStringLiteral("bookid")).toString();
    if (!bookId.isEmpty())
        sendAddressPage(bookId, limit, offset + count + 1, fromOtherThread);
}

void CTIConnector::handleResponse_saveAddress(CTIMessage &message)
{
    QVariantMap fields = message.value(QStringLiteral("address")).toMap();
    fields.remove(QStringLiteral("image_460"));
    auto *address = recordFrom<Addresses>(fields);
    address->setId(message.value(QStringLiteral("id")).toString());
    emit addressSaved(address);
}

void CTIConnector::handleResponse_deleteAddress(CTIMessage &message)
{
    const QString id = message.value(QStringLiteral("id")).toString();
    if (!id.isEmpty())
        emit addressDeleted(id);
}

void CTIConnector::handleResponse_setAddressPicture(CTIMessage &message)
{
    const QString id = message.value(QStringLiteral("id")).toString();
    if (!id.isEmpty())
        emit addressPictureSet(id);
}

void CTIConnector::handleResponse_getAddressPicture(CTIMessage &message)
{
    const QString id = message.value(QStringLiteral("id")).toString();
    if (id.isEmpty())
        return;
    QPixmap pixmap;
    pixmap.loadFromData(QByteArray::fromBase64(message.value(QStringLiteral("data")).toByteArray()));
    emit addressPictureAvailable(pixmap, id);
}

void CTIConnector::handleResponse_getContactTypes(CTIMessage &message)
{
    emit contactTypesAvailable(message.value(QStringLiteral("ContactTypes")).toStringList());
}

void CTIConnector::handleResponse_requestJabberBuddies(CTIMessage &message)
{
    const QVariantMap groups = message.value(QStringLiteral("groups")).toMap();
    for (const QVariant &group : groups) {
        const QVariantMap users = group.toMap().value(QStringLiteral("users")).toMap();
        for (const QVariant &entry : users) {
            auto *buddy = recordFrom<User>(entry);
            if (jabberBuddies.contains(buddy->id())) {
                // Already known from another group: announced, not stored.
                emit jabberBuddyChanged(buddy);
            } else {
                jabberBuddies.insert(buddy->id(), buddy);
                emit jabberBuddyAdded(buddy);
            }
        }
    }
}

void CTIConnector::handleResponse_requestPhoneConfig(CTIMessage &message)
{
    ctiAnswerSupported = message.value(QStringLiteral("ctiAnswerSupported")).toBool();

    const QVariantMap presets = message.value(QStringLiteral("callForwardPresets")).toMap();
    for (const QVariant &entry : presets)
        emit forwardPresetAdded(recordFrom<ForwardPreset>(entry));

    emit activeForwardPresetChanged(message.value(QStringLiteral("activeForwardPreset")).toString());
    emit dialPrefixChanged(message.value(QStringLiteral("dialprefix")).toString());

    const QVariantMap phoneData = message.value(QStringLiteral("phones")).toMap();
    for (const QVariant &entry : phoneData) {
        auto *phone = recordFrom<Phone>(entry);
        phones.insert(phone->id(), phone);
        emit phoneAdded(phone);
    }

    const QVariantMap queueData = message.value(QStringLiteral("queues")).toMap();
    for (const QVariant &entry : queueData) {
        auto *queue = recordFrom<Queue>(entry);
        queues.insert(queue->id(), queue);
        emit queueAdded(queue);
    }
}
