#include "ctimessage.h"

#include <QJsonDocument>
#include <QUuid>

CTIMessage::CTIMessage(const QString &name)
    : messageName(name)
    , messageType(Command)
{
}

CTIMessage::CTIMessage(const QByteArray &json)
{
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    const QString word = object.value(QLatin1String("type")).toString();
    if (word == QLatin1String("command"))
        messageType = Command;
    else if (word == QLatin1String("event"))
        messageType = Event;
    else if (word == QLatin1String("response"))
        messageType = Response;
    messageName = object.value(QLatin1String("name")).toString();
    payload = object.value(QLatin1String("data")).toObject();
}

QString CTIMessage::uuid()
{
    if (messageUuid.isEmpty())
        messageUuid = QUuid::createUuid().toString().mid(1, 36);
    return messageUuid;
}

QVariant CTIMessage::value(const QString &key) const
{
    const auto it = payload.constFind(key);
    return it == payload.constEnd() ? QVariant() : it.value().toVariant();
}

void CTIMessage::setValue(const QString &key, const QString &value)
{
    payload.insert(key, value);
}

void CTIMessage::setValue(const QString &key, int value)
{
    payload.insert(key, value);
}

void CTIMessage::setValue(const QString &key, const char *value)
{
    payload.insert(key, QString::fromLatin1(value));
}

void CTIMessage::setValue(const QString &key, const QVariantMap &map)
{
    QJsonObject object;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        object.insert(it.key(), it.value().toString());
    payload.insert(key, object);
}

void CTIMessage::setValue(const QString &key, const QByteArray &bytes)
{
    payload.insert(key, QString::fromLatin1(bytes.toBase64()));
}

QJsonObject CTIMessage::envelope()
{
    QJsonObject object;
    object.insert(QLatin1String("type"), typeWord(messageType));
    object.insert(QLatin1String("name"), messageName);
    object.insert(QLatin1String("uuid"), uuid());
    object.insert(QLatin1String("data"), payload);
    return object;
}

QByteArray CTIMessage::toJson()
{
    return QJsonDocument(envelope()).toJson();
}

QString CTIMessage::typeWord(int type)
{
    switch (type) {
    case Command: return QStringLiteral("command");
    case Response: return QStringLiteral("response");
    case Event: return QStringLiteral("event");
    }
    return QStringLiteral("?");
}
