// Turns responses into records, keeps some in the stores and announces each one.

#include "cticonnector.h"

#include "cticonnectorresponsehandler.h"
#include "logger.h"

#include <QDateTime>
#include <QJsonArray>
#include <QSet>
#include <QThreadPool>

#include <limits>

namespace {

// A line whose call started longer ago than this (or in the future) is not open any more.
constexpr quint64 maxLineAgeSeconds = 8 * 60 * 60;

// Payload objects are walked as parsed: converting a whole page to one QVariantMap first would
// build every entry's map twice.
QJsonObject objectOf(const CTIMessage &message, const QString &key)
{
    return message.jsonValue(key).toObject();
}

// The attribute maps of one response's entries, whose keys share their text: a page of 10,000
// addresses would otherwise hold 10,000 copies of every key.
class EntryFields
{
public:
    // What QJsonObject::toVariantMap() gives, value for value.
    QVariantMap of(const QJsonValue &entry)
    {
        const QJsonObject object = entry.toObject();
        QVariantMap fields;
        for (auto it = object.constBegin(); it != object.constEnd(); ++it)
            fields.insert(fields.cend(), shared(it.key()), it.value().toVariant());
        return fields;
    }

private:
    QString shared(const QString &key)
    {
        auto found = keys.constFind(key);
        if (found == keys.cend())
            found = keys.insert(key);
        return *found;
    }

    QSet<QString> keys;
};

template <class Record>
Record *recordFrom(const QVariantMap &fields)
{
    auto *record = new Record;
    record->setAttributes(fields);
    return record;
}

} // namespace

void CTIConnector::handleResponse_tapiGetUsers(CTIMessage &message)
{
    const QJsonArray users = message.jsonValue(QStringLiteral("users")).toArray();
    EntryFields fields;
    for (const QJsonValue &entry : users)
        tapiUsers.append(QSharedPointer<TapiUser>(recordFrom<TapiUser>(fields.of(entry))));
    emit loginSuccessSignal();
}

void CTIConnector::handleResponse_requestLineStatus(CTIMessage &message)
{
    const QJsonObject lineData = objectOf(message, QStringLiteral("lines"));
    EntryFields fields;
    for (const QJsonValue &entry : lineData) {
        Line *line = Line::fromLineData(fields.of(entry));
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
    const QJsonObject books = objectOf(message, QStringLiteral("books"));
    EntryFields fields;
    for (auto it = books.constBegin(); it != books.constEnd(); ++it) {
        auto *book = recordFrom<Addressbook>(fields.of(it.value()));
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
    const QJsonObject addresses = objectOf(message, QStringLiteral("addresses"));
    const int limit = message.value(QStringLiteral("limit")).toInt();
    // Any number the server sends, so that the sum below cannot overflow.
    const double offset = message.value(QStringLiteral("offset")).toDouble();
    EntryFields fields;
    for (auto it = addresses.constBegin(); it != addresses.constEnd(); ++it) {
        auto *address = recordFrom<Addresses>(fields.of(it.value()));
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
    if (bookId.isEmpty())
        return;
    const double next = offset + count + 1;
    if (!(next >= std::numeric_limits<int>::min() && next <= std::numeric_limits<int>::max())) {
        Logger::verbose(QVariant(QStringLiteral("stop paging address book ") + bookId + QStringLiteral(": the next offset ")
                                 + QString::number(next, 'f', 0) + QStringLiteral(" is out of range")),
                        Q_FUNC_INFO);
        return;
    }
    sendAddressPage(bookId, limit, int(qRound64(next)), fromOtherThread);
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
    const QJsonObject groups = objectOf(message, QStringLiteral("groups"));
    EntryFields fields;
    for (const QJsonValue &group : groups) {
        const QJsonObject users = group.toObject().value(QStringLiteral("users")).toObject();
        for (const QJsonValue &entry : users) {
            auto *buddy = recordFrom<User>(fields.of(entry));
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
    EntryFields fields;

    const QJsonObject presets = objectOf(message, QStringLiteral("callForwardPresets"));
    for (const QJsonValue &entry : presets)
        emit forwardPresetAdded(recordFrom<ForwardPreset>(fields.of(entry)));

    emit activeForwardPresetChanged(message.value(QStringLiteral("activeForwardPreset")).toString());
    emit dialPrefixChanged(message.value(QStringLiteral("dialprefix")).toString());

    const QJsonObject phoneData = objectOf(message, QStringLiteral("phones"));
    for (const QJsonValue &entry : phoneData) {
        auto *phone = recordFrom<Phone>(fields.of(entry));
        phones.insert(phone->id(), phone);
        emit phoneAdded(phone);
    }

    const QJsonObject queueData = objectOf(message, QStringLiteral("queues"));
    for (const QJsonValue &entry : queueData) {
        auto *queue = recordFrom<Queue>(fields.of(entry));
        queues.insert(queue->id(), queue);
        emit queueAdded(queue);
    }
}
