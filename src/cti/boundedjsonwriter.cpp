#include "boundedjsonwriter.h"

#include <QCborValue>
#include <QLocale>

#include <cmath>

namespace {

char hexDigit(uint value)
{
    return char(value < 10 ? '0' + value : 'a' + value - 10);
}

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
// Integral and below 2^64: written in fixed notation, as Qt 5's writer does.
bool isWholeBelowTwoToThe64(double magnitude)
{
    return magnitude < 18446744073709551616.0 && std::floor(magnitude) == magnitude;
}
#endif

} // namespace

BoundedJsonWriter::BoundedJsonWriter(qsizetype maxBytes)
    : limit(maxBytes)
{
}

void BoundedJsonWriter::append(const char *bytes, qsizetype size)
{
    if (cut) {
        bytesLeft += size;
        return;
    }
    if (json.size() + size <= limit) {
        json.append(bytes, int(size));
        return;
    }
    // Each piece holds whole characters: a character that does not fit is left out whole.
    qsizetype keep = limit - json.size();
    while (keep > 0 && (uchar(bytes[keep]) & 0xC0) == 0x80)
        --keep;
    json.append(bytes, int(keep));
    bytesLeft += size - keep;
    cut = true;
}

void BoundedJsonWriter::appendIndent(int indent)
{
    static const QByteArray spaces(64, ' ');
    for (qsizetype left = 4 * qsizetype(indent); left > 0; left -= spaces.size())
        append(spaces.constData(), qMin(left, qsizetype(spaces.size())));
}

// Escaped as Qt's writer escapes: control characters, quotes and backslashes; everything else
// as UTF-8, but a lone surrogate as \uXXXX. In pieces, so that a huge string is never copied
// whole; past the cut its pieces are only counted.
void BoundedJsonWriter::writeString(const QString &text)
{
    char piece[1024];
    int used = 0;
    piece[used++] = '"';
    const ushort *source = text.utf16();
    const ushort *const end = source + text.size();
    while (source != end) {
        if (used > int(sizeof piece) - 12) {
            append(piece, used);
            used = 0;
        }
        const ushort u = *source++;
        if (u < 0x80) {
            if (u >= 0x20 && u != '"' && u != '\\') {
                piece[used++] = char(u);
                continue;
            }
            piece[used++] = '\\';
            switch (u) {
            case '"': piece[used++] = '"'; break;
            case '\\': piece[used++] = '\\'; break;
            case '\b': piece[used++] = 'b'; break;
            case '\f': piece[used++] = 'f'; break;
            case '\n': piece[used++] = 'n'; break;
            case '\r': piece[used++] = 'r'; break;
            case '\t': piece[used++] = 't'; break;
            default:
                piece[used++] = 'u';
                piece[used++] = '0';
                piece[used++] = '0';
                piece[used++] = hexDigit(u >> 4);
                piece[used++] = hexDigit(u & 0xF);
            }
        } else if (u < 0x800) {
            piece[used++] = char(0xC0 | (u >> 6));
            piece[used++] = char(0x80 | (u & 0x3F));
        } else if (!QChar::isSurrogate(u)) {
            piece[used++] = char(0xE0 | (u >> 12));
            piece[used++] = char(0x80 | ((u >> 6) & 0x3F));
            piece[used++] = char(0x80 | (u & 0x3F));
        } else if (QChar::isHighSurrogate(u) && source != end && QChar::isLowSurrogate(*source)) {
            const uint code = QChar::surrogateToUcs4(u, *source++);
            piece[used++] = char(0xF0 | (code >> 18));
            piece[used++] = char(0x80 | ((code >> 12) & 0x3F));
            piece[used++] = char(0x80 | ((code >> 6) & 0x3F));
            piece[used++] = char(0x80 | (code & 0x3F));
        } else {
            piece[used++] = '\\';
            piece[used++] = 'u';
            for (int shift = 12; shift >= 0; shift -= 4)
                piece[used++] = hexDigit((u >> shift) & 0xF);
        }
    }
    piece[used++] = '"';
    append(piece, used);
}

void BoundedJsonWriter::writeValue(const QJsonValue &value, int indent)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        append(value.toBool() ? QByteArrayLiteral("true") : QByteArrayLiteral("false"));
        break;
    case QJsonValue::Double: {
        const double number = value.toDouble();
        if (!std::isfinite(number)) {
            append(QByteArrayLiteral("null"));
            break;
        }
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        // Qt 6 keeps a whole number of the JSON text as an integer, and writes every double in
        // its shortest form, 1e17 as "1e+17".
        if (QCborValue::fromJsonValue(value).isInteger())
            append(QByteArray::number(value.toInteger()));
        else
            append(QByteArray::number(number, 'g', QLocale::FloatingPointShortest));
#else
        const char format = isWholeBelowTwoToThe64(std::abs(number)) ? 'f' : 'g';
        append(QByteArray::number(number, format, QLocale::FloatingPointShortest));
#endif
        break;
    }
    case QJsonValue::String:
        writeString(value.toString());
        break;
    case QJsonValue::Array:
        writeArray(value.toArray(), indent);
        break;
    case QJsonValue::Object:
        writeObject(value.toObject(), indent);
        break;
    default:
        append(QByteArrayLiteral("null"));
    }
}

void BoundedJsonWriter::writeContainer(char open, char close, qint64 count, int indent,
                                       const std::function<void(qint64)> &writeEntry)
{
    const char opening[] = {open, '\n'};
    append(opening, 2);
    for (qint64 index = 0; index < count; ++index) {
        if (cut) {
            leftOut += count - index;
            return;
        }
        appendIndent(indent + 1);
        writeEntry(index);
        append(index + 1 == count ? "\n" : ",\n", index + 1 == count ? 1 : 2);
    }
    appendIndent(indent);
    append(&close, 1);
}

void BoundedJsonWriter::writeObject(const QJsonObject &object, int indent)
{
    const QJsonObject::const_iterator first = object.constBegin();
    writeContainer('{', '}', object.size(), indent, [&](qint64 index) {
        const QJsonObject::const_iterator member = first + int(index);
        writeString(member.key());
        append(": ", 2);
        writeValue(member.value(), indent + 1);
    });
}

void BoundedJsonWriter::writeArray(const QJsonArray &array, int indent)
{
    writeContainer('[', ']', array.size(), indent,
                   [&](qint64 index) { writeValue(array.at(int(index)), indent + 1); });
}

void BoundedJsonWriter::writeDocument(const QJsonObject &object)
{
    writeObject(object, 0);
    append("\n", 1);
}
