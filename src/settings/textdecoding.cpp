#include "textdecoding.h"

#include <QtGlobal>

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)

#include <QStringDecoder>

QString decodeText(const QByteArray &bytes, const QByteArray &encoding, bool *valid)
{
    // Stateless: bytes that end inside a character are invalid, not kept back for more input.
    const QStringConverter::Flags flags = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;
    QStringDecoder decoder = encoding.isEmpty() ? QStringDecoder(QStringConverter::System, flags)
                                                : QStringDecoder(encoding.constData(), flags);
    // An unknown encoding gives a decoder that is not valid: no text, and an error.
    const QString text = decoder.decode(bytes);
    if (valid)
        *valid = !decoder.hasError();
    return text;
}

#else

#include <QTextCodec>

QString decodeText(const QByteArray &bytes, const QByteArray &encoding, bool *valid)
{
    QTextCodec *codec = encoding.isEmpty() ? QTextCodec::codecForLocale() : QTextCodec::codecForName(encoding);
    if (!codec) {
        if (valid)
            *valid = false;
        return QString();
    }
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    QString text = codec->toUnicode(bytes.constData(), int(bytes.size()), &state);
    // The codec keeps the bytes of a character cut short at the end for more input that never
    // comes: each is invalid, as Qt 6 and Qt's plain conversions have it.
    text += QString(state.remainingChars, QChar::ReplacementCharacter);
    if (valid)
        *valid = state.invalidChars == 0 && state.remainingChars == 0;
    return text;
}

#endif
