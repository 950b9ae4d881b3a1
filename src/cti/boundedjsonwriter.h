#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>

#include <functional>

// Writes an object as QJsonDocument::toJson() of the Qt it runs on writes it (indented by four
// spaces, keys in order, the same number and string forms), but stops after maxBytes: a log line
// needs only the start of a huge message, and writing all of it only to cut it would cost more
// than parsing it did. A cut falls on a UTF-8 character boundary, so the text is always exactly the
// start of the whole serialisation.
class BoundedJsonWriter
{
public:
    explicit BoundedJsonWriter(qsizetype maxBytes);

    // The document of one top-level object, with the line end toJson() gives it.
    void writeDocument(const QJsonObject &object);

    const QByteArray &text() const { return json; }
    bool isCut() const { return cut; }
    // Object members and array elements the text does not begin, at every level still open
    // where it was cut (each counts once, whatever it holds).
    qint64 valuesLeftOut() const { return leftOut; }
    // The bytes of the whole text after the cut; exact where no value was left out whole (those
    // are not even visited): then only the rest of the last value and the closing brackets.
    qint64 bytesLeftOut() const { return bytesLeft; }

private:
    void append(const char *bytes, qsizetype size);
    void append(const QByteArray &bytes) { append(bytes.constData(), bytes.size()); }
    void appendIndent(int indent);
    void writeString(const QString &text);
    void writeValue(const QJsonValue &value, int indent);
    // The opening bracket, the entries one to a line, the closing bracket at the container's indent.
    void writeContainer(char open, char close, qint64 count, int indent, const std::function<void(qint64)> &writeEntry);
    void writeObject(const QJsonObject &object, int indent);
    void writeArray(const QJsonArray &array, int indent);

    QByteArray json;
    qsizetype limit;
    bool cut = false;
    qint64 leftOut = 0;
    qint64 bytesLeft = 0;
};
