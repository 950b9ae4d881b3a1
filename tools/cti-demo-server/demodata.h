#pragma once

#include "addressgenerator.h"

#include <QColor>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QStringList>

#include <optional>

// What the server knows: users, calls, buddies, phone configuration, UC items, address books
// and their pictures. Commands and events change it in memory until the next load.
class DemoData
{
public:
    // Replaces everything; on false (not a JSON object) nothing changes.
    bool load(const QByteArray &json);

    // The response data of a command about the data set; nothing for any other command.
    std::optional<QJsonObject> answer(const QString &command, const QJsonObject &request);

    // Applies the next change of the named kind and returns the event's payload; nothing when
    // the name is no event or the data set holds nothing to change.
    std::optional<QJsonObject> nextEvent(const QString &name);
    static QStringList eventNames();

    // Replaces the book (or adds it) with count generated entries.
    void setBookSize(const QString &bookId, int count);

private:
    struct Book
    {
        QJsonObject info;
        QMap<QString, QJsonObject> entries;
        // Entries that exist only as generator output, until something changes the book.
        int generated = 0;

        int size() const { return generated > 0 ? generated : entries.size(); }
    };

    QJsonObject tapiUsersAnswer(const QJsonObject &request);
    QJsonObject lineStatusAnswer(const QJsonObject &request);
    QJsonObject ucItemsAnswer(const QJsonObject &request);
    QJsonObject addressBooksAnswer(const QJsonObject &request);
    QJsonObject addressesAnswer(const QJsonObject &request);
    QJsonObject saveAddressAnswer(const QJsonObject &request);
    QJsonObject deleteAddressAnswer(const QJsonObject &request);
    QJsonObject addressPictureAnswer(const QJsonObject &request);
    QJsonObject setAddressPictureAnswer(const QJsonObject &request);
    QJsonObject contactTypesAnswer(const QJsonObject &request);
    QJsonObject jabberBuddiesAnswer(const QJsonObject &request);
    QJsonObject phoneConfigAnswer(const QJsonObject &request);

    std::optional<QJsonObject> presenceEvent();
    std::optional<QJsonObject> lineEvent();
    std::optional<QJsonObject> addressAddedEvent();
    std::optional<QJsonObject> addressChangedEvent();
    std::optional<QJsonObject> addressDeletedEvent();
    std::optional<QJsonObject> contactTypesEvent();
    std::optional<QJsonObject> activePresetEvent();
    std::optional<QJsonObject> phoneEvent();
    std::optional<QJsonObject> queueEvent();
    std::optional<QJsonObject> loginToggleEvent(const QString &event, const QString &configKey,
                                                const QString &payloadKey);

    QJsonObject lineWithDuration(QJsonObject line) const;
    // Index of the next entry in a rotation of size entries, one rotation per event name.
    int nextTurn(const QString &event, int size);

    std::optional<QString> bookOf(const QString &id) const;
    QString addressIdAt(const QString &bookId, int position) const;
    QJsonObject addressAt(const QString &bookId, int position) const;
    QJsonObject generatedAddress(const QString &bookId, int index, int count) const;
    quint32 generatedSeed(const QString &bookId, int index) const;
    void materialise(const QString &bookId);
    void storeAddress(const QString &bookId, const QString &id, const QJsonObject &address);
    // Takes the entry out of its book but keeps its picture, for a move to another book.
    bool unlinkAddress(const QString &id);
    bool removeAddress(const QString &id);
    QString newAddressId();
    std::optional<QColor> pictureColour(const QString &id) const;
    std::optional<QColor> generatedPictureColour(const QString &bookId, int index) const;

    QJsonArray tapiUsers;
    QMap<QString, QJsonObject> lines;
    QJsonObject ucItems;
    QMap<QString, QJsonObject> buddies;
    QMap<QString, QStringList> buddyGroups;
    QStringList contactTypes;
    QJsonObject phoneConfig;
    QMap<QString, Book> books;
    // Ids of the entries kept in books' entry maps; generated ids are recognised by their form.
    QHash<QString, QString> addressBook;
    QHash<QString, QColor> pictureColours;
    QHash<QString, QByteArray> pictures;
    AddressGenerator generator;
    int nextAddressNumber = 1;

    QStringList presenceCycle;
    QList<int> lineStateCycle;
    QString toggledContactType;
    QHash<QString, int> turns;
    QStringList addedByEvents;
};
