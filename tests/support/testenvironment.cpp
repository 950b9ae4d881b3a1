#include "testenvironment.h"

#include "applicationnames.h"
#include "installationregistry.h"
#include "privateprofile.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>

TestEnvironment::TestEnvironment()
    : previousProgramData(qgetenv("ProgramData"))
{
    QVERIFY(dir.isValid());
    QDir(dir.path()).mkpath(QStringLiteral("ProgramData"));
    qputenv("ProgramData", QFile::encodeName(programData()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, dir.filePath(QStringLiteral("registry")));
}

TestEnvironment::~TestEnvironment()
{
    if (wroteRegistry)
        openInstallationRegistry()->remove(QStringLiteral("UserData/installationDir"));
    if (previousProgramData.isNull())
        qunsetenv("ProgramData");
    else
        qputenv("ProgramData", previousProgramData);
}

QString TestEnvironment::programData() const
{
    return dir.filePath(QStringLiteral("ProgramData"));
}

QString TestEnvironment::settingsFolder() const
{
    return programData() + QLatin1Char('/') + companyName();
}

QString TestEnvironment::settingsFilePath() const
{
    return settingsFolder() + QLatin1Char('/') + applicationName() + QStringLiteral(".ini");
}

QByteArray TestEnvironment::readSettingsFile() const
{
    QFile file(settingsFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestEnvironment::writeSettingsFile(const QByteArray &content) const
{
    QDir().mkpath(settingsFolder());
    QFile file(settingsFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QString TestEnvironment::storedValue(const QString &key) const
{
    char buffer[4096] = {};
    GetPrivateProfileStringA("UserData", key.toUtf8().constData(), "", buffer, sizeof buffer,
                             QFile::encodeName(settingsFilePath()).constData());
    return QString::fromUtf8(buffer);
}

void TestEnvironment::setInstallationDir(const QString &dir)
{
    // Where the store reads it: the machine's registry on Windows, the private stand-in elsewhere.
    const std::unique_ptr<QSettings> registry = openInstallationRegistry();
    registry->setValue(QStringLiteral("UserData/installationDir"), dir);
    registry->sync();
    wroteRegistry = true;
}
