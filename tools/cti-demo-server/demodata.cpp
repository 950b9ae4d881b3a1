#include "demodata.h"

#include "avatar.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QVariant>

#include <iterator>
#include <limits>

namespace {

const QString timestampFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// The data file dates calls and items by their age, so that the demo always looks current.
QJsonObject resolveTimestamps(const QJsonObject &map, const QDateTime &now)
{
    QJsonObject resolved;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        QJsonObject entry = it.value().toObject();
        if (entry.contains("timestamp_offset")) {
            const qint64 age = entry.take("timestamp_offset").toVariant().toLongLong();
            entry.insert("timestamp", now.addSecs(-age).toString(timestampFormat));
        }
        resolved.insert(it.key(), entry);
    }
    return resolved;
}

QMap<QString, QJsonObject> objectMap(const QJsonObject &object)
{
    QMap<QString, QJsonObject> map;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        map.insert(it.key(), it.value().toObject());
    return map;
}

QString formatDuration(qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// Request numbers may arrive as JSON numbers or as numeric strings, and of any size: clamped to
// what a page can use, so that no arithmetic on them overflows.
int countFrom(const QJsonValue &value)
{
    const double number = value.toVariant().toDouble();
    return number > 0 ? int(qMin<double>(number, std::numeric_limits<int>::max())) : 0;
}

// The value after current in cycle; the first one when current is not in it.
template<typename T>
T following(const QList<T> &cycle, const T &current)
{
    return cycle.at((cycle.indexOf(current) + 1) % cycle.size());
}

using Answer = QJsonObject (DemoData::*)(const QJsonObject &);

} // namespace

bool DemoData::load(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return false;
    const QJsonObject root = document.object();
    const QDateTime now = QDateTime::currentDateTime();

    DemoData fresh;
    fresh.tapiUsers = root.value("tapiUsers").toArray();
    fresh.lines = objectMap(resolveTimestamps(root.value("lines").toObject(), now));
    fresh.ucItems = resolveTimestamps(root.value("ucItems").toObject(), now);
    fresh.buddies = objectMap(root.value("buddies").toObject());
    const QJsonObject groups = root.value("buddyGroups").toObject();
    for (auto it = groups.constBegin(); it != groups.constEnd(); ++it)
        fresh.buddyGroups.insert(it.key(), it.value().toVariant().toStringList());
    fresh.contactTypes = root.value("contactTypes").toVariant().toStringList();
    fresh.phoneConfig = root.value("phoneConfig").toObject();
    fresh.generator = AddressGenerator(fresh.contactTypes);

    const QJsonObject bookInfos = root.value("addressbooks").toObject();
    for (auto it = bookInfos.constBegin(); it != bookInfos.constEnd(); ++it)
        fresh.books[it.key()].info = it.value().toObject();
    const QJsonObject addresses = root.value("addresses").toObject();
    for (auto it = addresses.constBegin(); it != addresses.constEnd(); ++it) {
        const QJsonObject address = it.value().toObject();
        fresh.storeAddress(address.value("bookid").toString(), it.key(), address);
        fresh.nextAddressNumber = qMax(fresh.nextAddressNumber, it.key().toInt() + 1);
    }
    const QJsonObject colours = root.value("pictures").toObject();
    for (auto it = colours.constBegin(); it != colours.constEnd(); ++it)
        fresh.pictureColours.insert(it.key(), QColor(it.value().toString()));

    const QJsonObject events = root.value("events").toObject();
    fresh.presenceCycle = events.value("presence").toVariant().toStringList();
    for (const QJsonValue &state : events.value("lineStates").toArray())
        fresh.lineStateCycle.append(state.toInt());
    fresh.toggledContactType = events.value("contactType").toString();

    *this = std::move(fresh);
    return true;
}

std::optional<QJsonObject> DemoData::answer(const QString &command, const QJsonObject &request)
{
    static const QHash<QString, Answer> answers{
        {"tapiGetUsers", &DemoData::tapiUsersAnswer},
        {"requestLineStatus", &DemoData::lineStatusAnswer},
        {"requestUCItems", &DemoData::ucItemsAnswer},
        {"getAddressbooks", &DemoData::addressBooksAnswer},
        {"getAddresses", &DemoData::addressesAnswer},
        {"saveAddress", &DemoData::saveAddressAnswer},
        {"deleteAddress", &DemoData::deleteAddressAnswer},
        {"getAddressPicture", &DemoData::addressPictureAnswer},
        {"setAddressPicture", &DemoData::setAddressPictureAnswer},
        {"getContactTypes", &DemoData::contactTypesAnswer},
        {"requestJabberBuddies", &DemoData::jabberBuddiesAnswer},
        {"requestPhoneConfig", &DemoData::phoneConfigAnswer},
    };
    const Answer handler = answers.value(command);
    if (!handler)
        return std::nullopt;
    return (this->*handler)(request);
}

QJsonObject DemoData::tapiUsersAnswer(const QJsonObject &)
{
    return {{"users", tapiUsers}};
}

QJsonObject DemoData::lineStatusAnswer(const QJsonObject &)
{
    QJsonObject result;
    for (auto it = lines.constBegin(); it != lines.constEnd(); ++it)
        result.insert(it.key(), lineWithDuration(it.value()));
    return {{"lines", result}};
}

QJsonObject DemoData::lineWithDuration(QJsonObject line) const
{
    const QDateTime start =
            QDateTime::fromString(line.value("timestamp").toString(), timestampFormat);
    if (start.isValid())
        line.insert("duration", formatDuration(start.secsTo(QDateTime::currentDateTime())));
    return line;
}

QJsonObject DemoData::ucItemsAnswer(const QJsonObject &)
{
    return {{"items", ucItems}};
}

QJsonObject DemoData::addressBooksAnswer(const QJsonObject &)
{
    QJsonObject result;
    for (auto it = books.constBegin(); it != books.constEnd(); ++it)
        result.insert(it.key(), it.value().info);
    return {{"books", result}};
}

QJsonObject DemoData::addressesAnswer(const QJsonObject &request)
{
    const QString bookId = request.value("bookid").toString();
    const int limit = countFrom(request.value("limit"));
    const int offset = countFrom(request.value("offset"));

    // A request's offset is the position of the first entry wanted, counted from 1 (0 also
    // means the first); the answer's offset counts the entries before the page. A client
    // that follows a full page with offset + count + 1 thus reads every entry exactly once.
    QJsonObject page;
    int first = 0;
    const auto found = books.constFind(bookId);
    if (found != books.constEnd()) {
        const Book &book = found.value();
        first = qBound(0, offset - 1, book.size());
        const int end = first + qBound(0, limit, book.size() - first);
        if (book.generated > 0) {
            for (int index = first; index < end; ++index) {
                page.insert(AddressGenerator::generatedId(bookId, index, book.generated),
                            generatedAddress(bookId, index, book.generated));
            }
        } else {
            auto it = std::next(book.entries.constBegin(), first);
            for (int position = first; position < end; ++position, ++it)
                page.insert(it.key(), it.value());
        }
    }
    return {{"addresses", page}, {"bookid", bookId}, {"limit", limit}, {"offset", first}};
}

QJsonObject DemoData::saveAddressAnswer(const QJsonObject &request)
{
    QString id = request.value("id").toString();
    QJsonObject address = request.value("address").toObject();
    const std::optional<QString> currentBook = bookOf(id);
    QString bookId = address.value("bookid").toString();
    if (bookId.isEmpty() && currentBook)
        bookId = *currentBook;
    else if (bookId.isEmpty() && !books.isEmpty())
        bookId = books.firstKey();

    if (id.isEmpty())
        id = newAddressId();
    else if (currentBook && *currentBook != bookId)
        unlinkAddress(id);
    address.insert("id", id);
    address.insert("bookid", bookId);
    storeAddress(bookId, id, address);
    return {{"id", id}, {"address", address}};
}

QJsonObject DemoData::deleteAddressAnswer(const QJsonObject &request)
{
    const QString id = request.value("id").toString();
    removeAddress(id);
    return {{"id", id}};
}

QJsonObject DemoData::addressPictureAnswer(const QJsonObject &request)
{
    const QString id = request.value("id").toString();
    QJsonObject result{{"id", id}};
    if (!pictures.contains(id)) {
        const std::optional<QColor> colour = pictureColour(id);
        if (!colour)
            return result;
        pictures.insert(id, avatarPng(*colour));
    }
    result.insert("data", QString::fromLatin1(pictures.value(id).toBase64()));
    return result;
}

QJsonObject DemoData::setAddressPictureAnswer(const QJsonObject &request)
{
    const QString id = request.value("id").toString();
    // One picture per address is enough for answering; the largest given one is kept.
    QByteArray png;
    for (const char *key : {"image_460", "image_80", "image_40"}) {
        png = QByteArray::fromBase64(request.value(key).toString().toLatin1());
        if (!png.isEmpty())
            break;
    }
    pictureColours.remove(id);
    if (png.isEmpty())
        pictures.remove(id);
    else
        pictures.insert(id, png);
    return {{"id", id}};
}

QJsonObject DemoData::contactTypesAnswer(const QJsonObject &)
{
    return {{"ContactTypes", QJsonArray::fromStringList(contactTypes)}};
}

QJsonObject DemoData::jabberBuddiesAnswer(const QJsonObject &)
{
    QJsonObject groups;
    for (auto it = buddyGroups.constBegin(); it != buddyGroups.constEnd(); ++it) {
        QJsonObject users;
        for (const QString &id : it.value()) {
            if (buddies.contains(id))
                users.insert(id, buddies.value(id));
        }
        groups.insert(it.key(), QJsonObject{{"users", users}});
    }
    return {{"groups", groups}};
}

QJsonObject DemoData::phoneConfigAnswer(const QJsonObject &)
{
    return phoneConfig;
}

void DemoData::setBookSize(const QString &bookId, int count)
{
    if (books.contains(bookId)) {
        const QStringList ids = addressBook.keys(bookId);
        for (const QString &id : ids) {
            addressBook.remove(id);
            pictures.remove(id);
            pictureColours.remove(id);
        }
        const Book &old = books[bookId];
        for (int index = 0; index < old.generated; ++index)
            pictures.remove(AddressGenerator::generatedId(bookId, index, old.generated));
    }
    Book &book = books[bookId];
    book.entries.clear();
    book.generated = qMax(0, count);
    book.info = {{"id", bookId},
                 {"name", QStringLiteral("Generiertes Adressbuch %1").arg(bookId)},
                 {"type", "generated"}};
}

std::optional<QString> DemoData::bookOf(const QString &id) const
{
    const auto stored = addressBook.constFind(id);
    if (stored != addressBook.constEnd())
        return stored.value();
    for (auto it = books.constBegin(); it != books.constEnd(); ++it) {
        if (AddressGenerator::generatedIndex(it.key(), id, it.value().generated) >= 0)
            return it.key();
    }
    return std::nullopt;
}

quint32 DemoData::generatedSeed(const QString &bookId, int index) const
{
    return qHash(bookId) * 2654435761U + quint32(index);
}

QJsonObject DemoData::generatedAddress(const QString &bookId, int index, int count) const
{
    return generator.address(bookId, AddressGenerator::generatedId(bookId, index, count),
                             generatedSeed(bookId, index));
}

QString DemoData::addressIdAt(const QString &bookId, int position) const
{
    const Book &book = books.constFind(bookId).value();
    if (book.generated > 0)
        return AddressGenerator::generatedId(bookId, position, book.generated);
    return std::next(book.entries.constBegin(), position).key();
}

QJsonObject DemoData::addressAt(const QString &bookId, int position) const
{
    const Book &book = books.constFind(bookId).value();
    if (book.generated > 0)
        return generatedAddress(bookId, position, book.generated);
    return std::next(book.entries.constBegin(), position).value();
}

void DemoData::materialise(const QString &bookId)
{
    Book &book = books[bookId];
    const int count = book.generated;
    for (int index = 0; index < count; ++index) {
        const QString id = AddressGenerator::generatedId(bookId, index, count);
        book.entries.insert(id, generatedAddress(bookId, index, count));
        addressBook.insert(id, bookId);
        if (const std::optional<QColor> colour = generatedPictureColour(bookId, index))
            pictureColours.insert(id, *colour);
    }
    book.generated = 0;
}

void DemoData::storeAddress(const QString &bookId, const QString &id, const QJsonObject &address)
{
    Book &book = books[bookId];
    if (book.info.isEmpty())
        book.info = {{"id", bookId}, {"name", bookId}};
    if (book.generated > 0)
        materialise(bookId);
    book.entries.insert(id, address);
    addressBook.insert(id, bookId);
}

bool DemoData::unlinkAddress(const QString &id)
{
    const std::optional<QString> bookId = bookOf(id);
    if (!bookId)
        return false;
    auto book = books.find(*bookId);
    if (book->generated > 0)
        materialise(*bookId);
    book->entries.remove(id);
    addressBook.remove(id);
    return true;
}

bool DemoData::removeAddress(const QString &id)
{
    if (!unlinkAddress(id))
        return false;
    pictures.remove(id);
    pictureColours.remove(id);
    return true;
}

QString DemoData::newAddressId()
{
    QString id;
    do {
        id = QString::number(nextAddressNumber++);
    } while (bookOf(id));
    return id;
}

std::optional<QColor> DemoData::pictureColour(const QString &id) const
{
    if (pictureColours.contains(id))
        return pictureColours.value(id);
    const std::optional<QString> bookId = bookOf(id);
    if (!bookId)
        return std::nullopt;
    const int count = books.constFind(*bookId)->generated;
    const int index = AddressGenerator::generatedIndex(*bookId, id, count);
    if (index < 0)
        return std::nullopt;
    return generatedPictureColour(*bookId, index);
}

// Every fifth generated entry has a portrait; in a real directory many have none.
std::optional<QColor> DemoData::generatedPictureColour(const QString &bookId, int index) const
{
    if (index % 5 != 0)
        return std::nullopt;
    const quint32 hue = AddressGenerator::mix(generatedSeed(bookId, index)) % 360;
    return QColor::fromHsv(int(hue), 110, 175);
}

QStringList DemoData::eventNames()
{
    return {"updateUserPresence", "updateLineStatus", "addressAdded",
            "addressChanged", "addressDeleted", "contactTypesChanged",
            "phoneConfigChanged", "phoneChanged", "queueChanged"};
}

std::optional<QJsonObject> DemoData::nextEvent(const QString &name)
{
    using Event = std::optional<QJsonObject> (DemoData::*)();
    static const QHash<QString, Event> events{
        {"updateUserPresence", &DemoData::presenceEvent},
        {"updateLineStatus", &DemoData::lineEvent},
        {"addressAdded", &DemoData::addressAddedEvent},
        {"addressChanged", &DemoData::addressChangedEvent},
        {"addressDeleted", &DemoData::addressDeletedEvent},
        {"contactTypesChanged", &DemoData::contactTypesEvent},
        {"phoneConfigChanged", &DemoData::activePresetEvent},
        {"phoneChanged", &DemoData::phoneEvent},
        {"queueChanged", &DemoData::queueEvent},
    };
    const Event event = events.value(name);
    if (!event)
        return std::nullopt;
    return (this->*event)();
}

int DemoData::nextTurn(const QString &event, int size)
{
    return turns[event]++ % size;
}

std::optional<QJsonObject> DemoData::presenceEvent()
{
    if (buddies.isEmpty() || presenceCycle.isEmpty())
        return std::nullopt;
    auto buddy = std::next(buddies.begin(), nextTurn("updateUserPresence", buddies.size()));
    buddy->insert("presence", following(presenceCycle, buddy->value("presence").toString()));
    return buddy.value();
}

std::optional<QJsonObject> DemoData::lineEvent()
{
    if (lines.isEmpty() || lineStateCycle.isEmpty())
        return std::nullopt;
    auto line = std::next(lines.begin(), nextTurn("updateLineStatus", lines.size()));
    line->insert("state", following(lineStateCycle, line->value("state").toInt()));
    return lineWithDuration(line.value());
}

std::optional<QJsonObject> DemoData::addressAddedEvent()
{
    if (books.isEmpty())
        return std::nullopt;
    const QString bookId = books.firstKey();
    const QString id = newAddressId();
    const QJsonObject address = generator.address(bookId, id, qHash(id));
    storeAddress(bookId, id, address);
    addedByEvents.append(id);
    return QJsonObject{{"id", id}, {"address", address}};
}

std::optional<QJsonObject> DemoData::addressChangedEvent()
{
    if (books.isEmpty() || books.first().size() == 0)
        return std::nullopt;
    const QString bookId = books.firstKey();
    const int position = nextTurn("addressChanged", books.first().size());
    const QString id = addressIdAt(bookId, position);
    QJsonObject address = addressAt(bookId, position);
    const quint32 seed = qHash(id) + quint32(turns.value("addressChanged"));
    address.insert("mobile", AddressGenerator::mobileNumber(AddressGenerator::mix(seed)));
    storeAddress(bookId, id, address);
    return QJsonObject{{"id", id}, {"address", address}};
}

std::optional<QJsonObject> DemoData::addressDeletedEvent()
{
    // Undo the demo's own additions first, so that a long run keeps the data set's entries.
    while (!addedByEvents.isEmpty()) {
        const QString id = addedByEvents.takeLast();
        if (removeAddress(id))
            return QJsonObject{{"id", id}};
    }
    if (books.isEmpty() || books.first().size() == 0)
        return std::nullopt;
    const QString id = addressIdAt(books.firstKey(), books.first().size() - 1);
    removeAddress(id);
    return QJsonObject{{"id", id}};
}

std::optional<QJsonObject> DemoData::contactTypesEvent()
{
    if (toggledContactType.isEmpty())
        return std::nullopt;
    if (!contactTypes.removeOne(toggledContactType))
        contactTypes.append(toggledContactType);
    return contactTypesAnswer(QJsonObject());
}

std::optional<QJsonObject> DemoData::activePresetEvent()
{
    const QStringList presets = phoneConfig.value("callForwardPresets").toObject().keys();
    if (presets.isEmpty())
        return std::nullopt;
    const QString active = following(presets, phoneConfig.value("activeForwardPreset").toString());
    phoneConfig.insert("activeForwardPreset", active);
    return QJsonObject{{"activeForwardPreset", active}};
}

std::optional<QJsonObject> DemoData::phoneEvent()
{
    return loginToggleEvent("phoneChanged", "phones", "phone");
}

std::optional<QJsonObject> DemoData::queueEvent()
{
    return loginToggleEvent("queueChanged", "queues", "queue");
}

std::optional<QJsonObject> DemoData::loginToggleEvent(const QString &event,
                                                      const QString &configKey,
                                                      const QString &payloadKey)
{
    QJsonObject entries = phoneConfig.value(configKey).toObject();
    if (entries.isEmpty())
        return std::nullopt;
    const QString id = entries.keys().at(nextTurn(event, entries.size()));
    QJsonObject entry = entries.value(id).toObject();
    entry.insert("loggedin", !entry.value("loggedin").toBool());
    entries.insert(id, entry);
    phoneConfig.insert(configKey, entries);
    return QJsonObject{{payloadKey, entry}};
}
