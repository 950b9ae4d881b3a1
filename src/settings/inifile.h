#pragma once

#include <QString>
#include <QVariant>

// Reads and writes single keys of one section of an INI file through the private-profile
// functions. While no section is set every operation does nothing.
class IniFile
{
public:
    explicit IniFile(const QString &path);

    QString path() const { return filePath; }
    QString section() const { return currentSection; }
    void setSection(const QString &section) { currentSection = section; }
    void clearSection() { currentSection.clear(); }

    // The stored text, up to maxValueBytes long; the default when the key is missing or empty,
    // and when its value is longer (with a Warning in the log).
    QVariant value(const QString &key, const QVariant &defaultValue) const;
    // False without path, section or key, or when the write fails. An empty value is
    // written as "key=", not as a deletion.
    bool setValue(const QString &key, const QVariant &value) const;

    // UTF-8 bytes as text, every character kept: also a U+FEFF at the start. valid tells
    // whether the bytes were UTF-8 at all.
    static QString fromUtf8(const QByteArray &bytes, bool *valid = nullptr);

    // Whatever a person could type is read in one call. Each call reads the whole file again,
    // so a longer value takes one more call, with room for the longest value taken.
    static constexpr int firstReadBytes = 64 * 1024;
    // Longer values are settings files gone wrong, not settings.
    static constexpr int maxValueBytes = 1024 * 1024;

private:
    QString filePath;
    QString currentSection;
};
