#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A private program-data folder (the variable "ProgramData" points into a temporary folder)
// and a private system scope for the registry stand-in, for as long as the object lives. On
// Windows the registry is the machine's: what a test writes there is removed again.
class TestEnvironment
{
public:
    TestEnvironment();
    ~TestEnvironment();

    QString programData() const;
    QString settingsFolder() const;
    QString settingsFilePath() const;

    QByteArray readSettingsFile() const;
    void writeSettingsFile(const QByteArray &content) const;
    // The stored value of one key of the "UserData" section, read as the store reads it.
    QString storedValue(const QString &key) const;
    // Sets the installation folder where the store reads it; removed again with the environment.
    void setInstallationDir(const QString &dir);

private:
    QTemporaryDir dir;
    QByteArray previousProgramData;
    bool wroteRegistry = false;
};
