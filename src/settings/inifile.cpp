#include "inifile.h"

#include "privateprofile.h"

#include <QTextCodec>

namespace {

// Values are written as UTF-8; text that is not valid UTF-8 came from another program
// writing in the local code page.
QString decode(const QByteArray &bytes)
{
    QTextCodec::ConverterState state;
    const QString text = QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    // A read cut at the buffer's end may split the last character; the decoder drops that part.
    const bool cut = bytes.size() == IniFile::bufferSize - 1;
    if (state.invalidChars == 0 && (state.remainingChars == 0 || cut))
        return text;
    return QString::fromLocal8Bit(bytes);
}

// A line break inside a value would split the file's line and smuggle in other keys.
QByteArray encode(const QVariant &value)
{
    QString text = value.toString();
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.toUtf8();
}

} // namespace

IniFile::IniFile(const QString &path)
    : filePath(path)
{
}

QVariant IniFile::value(const QString &key, const QVariant &defaultValue) const
{
    if (filePath.isEmpty() || currentSection.isEmpty())
        return defaultValue;
    char buffer[bufferSize] = {};
    const DWORD length = GetPrivateProfileStringA(currentSection.toUtf8().constData(), key.toUtf8().constData(),
                                                  defaultValue.toString().toUtf8().constData(), buffer,
                                                  bufferSize, filePath.toUtf8().constData());
    if (length == 0)
        return defaultValue;
    return decode(QByteArray(buffer, int(length)));
}

bool IniFile::setValue(const QString &key, const QVariant &value) const
{
    if (filePath.isEmpty() || currentSection.isEmpty() || key.isEmpty())
        return false;
    return WritePrivateProfileStringA(currentSection.toUtf8().constData(), key.toUtf8().constData(),
                                      encode(value).constData(), filePath.toUtf8().constData());
}
