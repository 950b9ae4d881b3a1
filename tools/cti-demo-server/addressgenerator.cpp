#include "addressgenerator.h"

namespace {

const char *const firstNames[] = {
    "Amalie", "Balduin", "Clementine", "Detlef", "Edeltraud", "Fridolin", "Gesine", "Hartmut",
    "Ilse", "Jobst", "Konstanze", "Leberecht", "Mechthild", "Notker", "Ottilie", "Pankraz",
    "Quirina", "Rupert", "Sieglinde", "Theobald", "Ulrike", "Volkmar", "Wiebke", "Xaver",
    "Yvonne", "Zacharias", "Adelheid", "Bertram", "Cordula", "Dietmar",
};

const char *const lastNames[] = {
    "Ammerkraut", "Birnbaumer", "Distelfink", "Eichelhäher", "Fliederbusch", "Gänsewein",
    "Hagebutte", "Igelhorst", "Kandisblau", "Kieselbach", "Lerchenfeld", "Mistelzweig",
    "Nebelhorn", "Obstwiese", "Pfeffermühle", "Quendel", "Rosmarinek", "Sauerampfer",
    "Tannenhäher", "Unkenruf", "Vogelbeer", "Wetterhahn", "Zwiebelstein", "Holunderstrauch",
    "Brombeerhag", "Kuckucksnest", "Mohnblum", "Schlehdorn",
};

struct Company
{
    const char *name;
    const char *domain;
};

const Company companies[] = {
    {"Nebelkrähe Logistik GmbH", "nebelkraehe-logistik.example"},
    {"Zwirbel & Töchter KG", "zwirbel-toechter.example"},
    {"Wolkenkratz Bauelemente AG", "wolkenkratz.example"},
    {"Pfefferkorn Gastro-Service", "pfefferkorn-gastro.example"},
    {"Hagedorn Naturkost eG", "hagedorn-naturkost.example"},
    {"Kieselgrund Fahrradmanufaktur", "kieselgrund-rad.example"},
    {"Brummkreisel Spielwaren OHG", "brummkreisel.example"},
    {"Funkelstein Optik GmbH", "funkelstein-optik.example"},
    {"Moosgrund Gartenbau", "moosgrund.example"},
    {"Tintenfass Verlagshaus", "tintenfass-verlag.example"},
};

// Phone numbers come from the blocks that are set aside for fiction.
struct City
{
    const char *name;
    int zipBase;
    const char *numberBlock;
};

const City cities[] = {
    {"Berlin", 10115, "030 23125"},
    {"Frankfurt am Main", 60306, "069 90009"},
    {"Hamburg", 20095, "040 66969"},
    {"Köln", 50667, "0221 4710"},
    {"München", 80331, "089 99998"},
};

const char *const streets[] = {
    "Lindenallee", "Am Mühlbach", "Kastanienweg", "Uferstraße", "Glockengasse",
    "Hinter der Schmiede", "Lerchenstieg", "Marktplatz", "Brunnenstraße", "Zum Weinberg",
};

QString transliterated(QString text)
{
    text.replace(QChar(0xe4), QLatin1String("ae"));
    text.replace(QChar(0xf6), QLatin1String("oe"));
    text.replace(QChar(0xfc), QLatin1String("ue"));
    text.replace(QChar(0xdf), QLatin1String("ss"));
    return text;
}

template<std::size_t N>
QStringList texts(const char *const (&list)[N])
{
    QStringList converted;
    for (const char *utf8 : list)
        converted.append(QString::fromUtf8(utf8));
    return converted;
}

// Converted once: generating a large book spends its time on these words otherwise.
struct Words
{
    QStringList firstNames = texts(::firstNames);
    QStringList lastNames = texts(::lastNames);
    QStringList streets = texts(::streets);
    QStringList mobileBlocks{QStringLiteral("0171 39200"), QStringLiteral("0176 04690")};
    QStringList firstMailParts;
    QStringList lastMailParts;
    QStringList companyNames;
    QStringList companyDomains;
    QStringList cityNames;
    QStringList numberBlocks;

    Words()
    {
        for (const QString &name : firstNames)
            firstMailParts.append(transliterated(name.toLower()));
        for (const QString &name : lastNames)
            lastMailParts.append(transliterated(name.toLower()));
        for (const Company &company : companies) {
            companyNames.append(QString::fromUtf8(company.name));
            companyDomains.append(QString::fromUtf8(company.domain));
        }
        for (const City &city : cities) {
            cityNames.append(QString::fromUtf8(city.name));
            numberBlocks.append(QString::fromUtf8(city.numberBlock));
        }
    }
};

const Words &words()
{
    static const Words built;
    return built;
}

int pick(const QStringList &list, quint32 value)
{
    return int(value % quint32(list.size()));
}

QString padded(quint32 number, int width)
{
    return QString::number(number).rightJustified(width, QLatin1Char('0'));
}

} // namespace

AddressGenerator::AddressGenerator(const QStringList &types) : contactTypes(types)
{
}

quint32 AddressGenerator::mix(quint32 value)
{
    value ^= value >> 16;
    value *= 0x7feb352dU;
    value ^= value >> 15;
    value *= 0x846ca68bU;
    value ^= value >> 16;
    return value;
}

QJsonObject AddressGenerator::address(const QString &bookId, const QString &id, quint32 seed) const
{
    const Words &w = words();
    const quint32 a = mix(seed);
    const quint32 b = mix(a);
    const quint32 c = mix(b);
    const int first = pick(w.firstNames, a);
    const int last = pick(w.lastNames, b);
    const int company = pick(w.companyNames, c);
    const int city = pick(w.cityNames, a >> 8);

    QJsonObject entry{
        {"id", id},
        {"bookid", bookId},
        {"firstname", w.firstNames.at(first)},
        {"lastname", w.lastNames.at(last)},
        {"company", w.companyNames.at(company)},
        {"phone", w.numberBlocks.at(city) + padded(b % 1000, 3)},
        {"mobile", mobileNumber(c)},
        {"email", w.firstMailParts.at(first) + QLatin1Char('.') + w.lastMailParts.at(last)
                      + QLatin1Char('@') + w.companyDomains.at(company)},
        {"street", w.streets.at(pick(w.streets, c >> 8)) + QLatin1Char(' ')
                       + QString::number(1 + (a >> 16) % 120)},
        {"zip", QString::number(cities[city].zipBase + int((b >> 16) % 80))},
        {"city", w.cityNames.at(city)},
    };
    if (!contactTypes.isEmpty())
        entry.insert("contacttype", contactTypes.at(pick(contactTypes, c >> 16)));
    return entry;
}

QString AddressGenerator::mobileNumber(quint32 seed)
{
    const Words &w = words();
    return w.mobileBlocks.at(pick(w.mobileBlocks, seed >> 4)) + padded(seed % 100, 2);
}

QString AddressGenerator::generatedId(const QString &bookId, int index, int count)
{
    const int width = qMax(6, int(QString::number(count).size()));
    return bookId + QLatin1Char('-') + padded(quint32(index), width);
}

int AddressGenerator::generatedIndex(const QString &bookId, const QString &id, int count)
{
    if (!id.startsWith(bookId + QLatin1Char('-')))
        return -1;
    bool ok = false;
    const int index = id.mid(bookId.size() + 1).toInt(&ok);
    if (!ok || index < 0 || index >= count || generatedId(bookId, index, count) != id)
        return -1;
    return index;
}
