#include "inifile.h"

#include "logger.h"
#include "privateprofile.h"
#include "textdecoding.h"

#include <QDir>
#include <QLocale>

namespace {

// Values are written as UTF-8; text that is not valid UTF-8 came from another program
// writing in the local code page.
QString decode(const QByteArray &bytes)
{
    bool valid = false;
    const QString text = IniFile::fromUtf8(bytes, &valid);
    return valid ? text : decodeText(bytes, QByteArray());
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

QString IniFile::fromUtf8(const QByteArray &bytes, bool *valid)
{
    // Qt's plain decoding drops a leading U+FEFF as a byte-order mark: here it is text.
    return decodeText(bytes, QByteArrayLiteral("UTF-8"), valid);
}

IniFile::IniFile(const QString &path)
    : filePath(path)
{
}

QVariant IniFile::value(const QString &key, const QVariant &defaultValue) const
{
    if (filePath.isEmpty() || currentSection.isEmpty())
        return defaultValue;
    const QByteArray section = currentSection.toUtf8();
    const QByteArray name = key.toUtf8();
    const QByteArray fallback = defaultValue.toString().toUtf8();
    const QByteArray path = filePath.toUtf8();
    // A value that fills the buffer may have been cut: read it again with room for the longest
    // value taken and one byte more, which tells a value of exactly that length from a longer one.
    const auto read = [&](QByteArray &buffer) {
        return GetPrivateProfileStringA(section.constData(), name.constData(), fallback.constData(), buffer.data(),
                                        DWORD(buffer.size()), path.constData());
    };
    QByteArray buffer(firstReadBytes, Qt::Uninitialized);
    DWORD length = read(buffer);
    if (length >= DWORD(buffer.size() - 1)) {
        buffer = QByteArray(maxValueBytes + 2, Qt::Uninitialized);
        length = read(buffer);
        if (length > DWORD(maxValueBytes)) {
            Logger::warning(QStringLiteral("The value of ") + key + QStringLiteral(" is longer than ")
                                + QLocale(QLocale::English).toString(maxValueBytes)
                                + QStringLiteral(" bytes and is read as missing: ") + QDir::toNativeSeparators(filePath),
                            Q_FUNC_INFO);
            return defaultValue;
        }
    }
    if (length == 0)
        return defaultValue;
    return decode(buffer.left(int(length)));
}

bool IniFile::setValue(const QString &key, const QVariant &value) const
{
    if (filePath.isEmpty() || currentSection.isEmpty() || key.isEmpty())
        return false;
    return WritePrivateProfileStringA(currentSection.toUtf8().constData(), key.toUtf8().constData(),
                                      encode(value).constData(), filePath.toUtf8().constData());
}
