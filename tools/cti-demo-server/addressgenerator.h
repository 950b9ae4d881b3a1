#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// Invents plausible address-book entries. The same seed always gives the same entry, so a
// book of any size can be produced page by page without being kept in memory.
class AddressGenerator
{
public:
    explicit AddressGenerator(const QStringList &types = QStringList());

    // An entry of about ten fields, with "id" and "bookid" as given.
    QJsonObject address(const QString &bookId, const QString &id, quint32 seed) const;
    static QString mobileNumber(quint32 seed);

    // Ids of generated books: zero-padded, so that text order is index order.
    static QString generatedId(const QString &bookId, int index, int count);
    // The index encoded in a generated id, or -1 when id is none of the book's.
    static int generatedIndex(const QString &bookId, const QString &id, int count);

    static quint32 mix(quint32 value);

private:
    QStringList contactTypes;
};
