#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QVariant>

// The JSON envelope of every WebSocket message: {"type", "name", "uuid", "data"}.
// A plain value: copied into the send queue and into pool tasks.
class CTIMessage
{
public:
    enum Type { Unknown = 0, Command = 1, Response = 2, Event = 3 };

    CTIMessage() = default;
    // A new command; every outgoing message is made this way.
    explicit CTIMessage(const QString &name);
    // Parses a received frame; never fails: malformed input gives an Unknown message.
    explicit CTIMessage(const QByteArray &json);

    QString name() const { return messageName; }
    int type() const { return messageType; }
    // Created on first use and kept, so a message serialised twice keeps its identity.
    QString uuid();
    QVariantMap data() const { return payload.toVariantMap(); }
    // Invalid for a missing key.
    QVariant value(const QString &key) const;
    // The member as it was parsed, for readers that walk a large object without converting
    // all of it first; undefined for a missing key.
    QJsonValue jsonValue(const QString &key) const { return payload.value(key); }
    bool contains(const QString &key) const { return payload.contains(key); }

    void setValue(const QString &key, const QString &value);
    void setValue(const QString &key, int value);
    void setValue(const QString &key, const char *value);
    // Every entry becomes a string, as the server expects for maps.
    void setValue(const QString &key, const QVariantMap &map);
    // Base64 text.
    void setValue(const QString &key, const QByteArray &bytes);

    // The envelope object that toJson() writes, with the uuid it then has.
    QJsonObject envelope();
    QByteArray toJson();
    static QString typeWord(int type);

private:
    QString messageName;
    QString messageUuid;
    QJsonObject payload;
    int messageType = Unknown;
};
