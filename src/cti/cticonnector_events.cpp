// Changes the server pushes unasked: update the stores or pass the data on.

#include "cticonnector.h"

#include "logger.h"

#include <QHash>

namespace {

// Updates the stored record with the map's id in place, or stores a new one.
template <class Record>
Record *storeOrUpdate(QMap<QString, Record *> &store, const QVariantMap &fields)
{
    const QString id = fields.value(QStringLiteral("id")).toString();
    Record *record = store.value(id);
    if (!record) {
        record = new Record;
        store.insert(id, record);
    }
    record->setAttributes(fields);
    return record;
}

} // namespace

void CTIConnector::handleEvent(CTIMessage &message)
{
    Logger::verbose("handleEvent", Q_FUNC_INFO);
    printFiltered(message);

    using Handler = void (CTIConnector::*)(CTIMessage &);
    static const QHash<QString, Handler> handlers = {
        {QStringLiteral("updateUserPresence"), &CTIConnector::handleEvent_updateUserPresence},
        {QStringLiteral("updateLineStatus"), &CTIConnector::handleEvent_updateLineStatus},
        {QStringLiteral("addressAdded"), &CTIConnector::handleEvent_addressAdded},
        {QStringLiteral("addressChanged"), &CTIConnector::handleEvent_addressAdded},
        {QStringLiteral("addressDeleted"), &CTIConnector::handleEvent_addressDeleted},
        {QStringLiteral("contactTypesChanged"), &CTIConnector::handleEvent_contactTypesChanged},
        {QStringLiteral("phoneConfigChanged"), &CTIConnector::handleEvent_phoneConfigChanged},
        {QStringLiteral("phoneChanged"), &CTIConnector::handleEvent_phoneChanged},
        {QStringLiteral("queueChanged"), &CTIConnector::handleEvent_queueChanged},
    };
    if (const Handler handler = handlers.value(message.name()))
        (this->*handler)(message);
}

void CTIConnector::handleEvent_updateUserPresence(CTIMessage &message)
{
    // Presence of buddies the server never listed is dropped.
    User *buddy = jabberBuddies.value(message.value(QStringLiteral("id")).toString());
    if (!buddy)
        return;
    buddy->setAttributes(message.data());
    emit jabberBuddyChanged(buddy);
}

void CTIConnector::handleEvent_updateLineStatus(CTIMessage &message)
{
    Logger::verbose("handleEvent_updateLineStatus: begin", Q_FUNC_INFO);
    emit lineChanged(message.data());
    Logger::verbose("handleEvent_updateLineStatus: end", Q_FUNC_INFO);
}

void CTIConnector::handleEvent_addressAdded(CTIMessage &message)
{
    auto *address = new Addresses;
    address->setAttributes(message.value(QStringLiteral("address")).toMap());
    address->setId(message.value(QStringLiteral("id")).toString());
    emit addressAdded(address);
}

void CTIConnector::handleEvent_addressDeleted(CTIMessage &message)
{
    const QString id = message.value(QStringLiteral("id")).toString();
    if (!id.isEmpty())
        emit addressDeleted(id);
}

void CTIConnector::handleEvent_contactTypesChanged(CTIMessage &message)
{
    emit contactTypesAvailable(message.value(QStringLiteral("ContactTypes")).toStringList());
}

void CTIConnector::handleEvent_phoneConfigChanged(CTIMessage &message)
{
    emit activeForwardPresetChanged(message.value(QStringLiteral("activeForwardPreset")).toString());
}

void CTIConnector::handleEvent_phoneChanged(CTIMessage &message)
{
    Phone *phone = storeOrUpdate(phones, message.value(QStringLiteral("phone")).toMap());
    // The server's full configuration tells what else the change touched.
    requestPhoneConfig();
    emit phoneChanged(phone);
}

void CTIConnector::handleEvent_queueChanged(CTIMessage &message)
{
    emit queueChanged(storeOrUpdate(queues, message.value(QStringLiteral("queue")).toMap()));
}
