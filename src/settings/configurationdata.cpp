#include "configurationdata.h"

#include "applicationnames.h"
#include "grantfullaccess.h"
#include "inifile.h"
#include "installationregistry.h"
#include "logger.h"
#include "programdata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace Key {
const QString section = QStringLiteral("UserData");
const QString server = QStringLiteral("server");
const QString userName = QStringLiteral("userName");
const QString password = QStringLiteral("password");
const QString port = QStringLiteral("port");
const QString message = QStringLiteral("message");
const QString logger = QStringLiteral("logger");
const QString changed = QStringLiteral("changed");
const QString installationDir = QStringLiteral("installationDir");
} // namespace Key

namespace {

constexpr int defaultPort = 28888;

QString settingsPath()
{
    return settingsFolder() + QDir::separator() + applicationName() + QStringLiteral(".ini");
}

// What the system said about the call that just failed (errno, or the last error on Windows).
QString lastSystemError()
{
    const QString reason = qt_error_string();
    return reason.isEmpty() ? QStringLiteral("unknown error") : reason;
}

QString flagText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

ConfigurationData::ConfigurationData()
    : iniFile(new IniFile(settingsPath()))
{
}

QString ConfigurationData::settingsFilePath() const
{
    return iniFile->path();
}

void ConfigurationData::loadData()
{
    iniFile->clearSection();
    iniFile->setSection(Key::section);
    server = iniFile->value(Key::server, QVariant()).toString();
    userName = iniFile->value(Key::userName, QVariant()).toString();
    password = IniFile::fromUtf8(QByteArray::fromBase64(iniFile->value(Key::password, QVariant()).toByteArray()));
    port = iniFile->value(Key::port, defaultPort).toInt();
    message = iniFile->value(Key::message, QVariant()).toString();
    logger = iniFile->value(Key::logger, QVariant()).toBool();
    changed = iniFile->value(Key::changed, QVariant()).toBool();
    iniFile->clearSection();

    const std::unique_ptr<QSettings> registry = openInstallationRegistry();
    registry->beginGroup(Key::section);
    // Read once per record: later loads keep the first result, even a missing value.
    if (installationDir.isNull()) {
        installationDir = registry->value(Key::installationDir, QVariant()).toString() + QDir::separator()
            + QStringLiteral("TAPIDriver") + QDir::separator() + QStringLiteral("bin");
    }
    Logger::debug(installationDir, Q_FUNC_INFO);
    registry->endGroup();
}

bool ConfigurationData::synchronize()
{
    failure.clear();
    iniFile->clearSection();
    iniFile->setSection(Key::section);
    if (iniFile->path().isEmpty() || iniFile->section().isEmpty())
        return false;

    const QFileInfo fileInfo(iniFile->path());
    const QString folder = fileInfo.absoluteDir().absolutePath();
    if (!QDir(folder).exists()) {
        if (!QDir().mkpath(folder)) {
            failure = lastSystemError();
            Logger::warning(QStringLiteral("Unable to create the folder for the settings: ") + folder, Q_FUNC_INFO);
            iniFile->clearSection();
            return false;
        }
        QFile file(fileInfo.absoluteFilePath());
        if (file.open(QIODevice::WriteOnly))
            file.write(" ");
    }

    const QString nativeFolder = QDir::toNativeSeparators(folder);
    Logger::debug(nativeFolder, Q_FUNC_INFO);
    QByteArray localFolder = nativeFolder.toLocal8Bit();
    GrantFullAccess(localFolder.data());

    const QPair<QString, QString> values[] = {
        {Key::server, server},
        {Key::userName, userName},
        {Key::password, QString::fromLatin1(password.toUtf8().toBase64())},
        {Key::port, QString::number(port)},
        {Key::message, message},
        {Key::logger, flagText(logger)},
        {Key::changed, flagText(changed)},
    };
    // Every key is tried, so one that cannot be written does not hold back the others.
    bool written = true;
    for (const auto &value : values) {
        if (!iniFile->setValue(value.first, value.second) && written) {
            written = false;
            failure = lastSystemError();
        }
    }
    iniFile->clearSection();
    if (written)
        return true;
    Logger::warning(QStringLiteral("Unable to write the settings file: ") + QDir::toNativeSeparators(iniFile->path())
                        + QStringLiteral(": ") + failure,
                    Q_FUNC_INFO);
    return false;
}

void ConfigurationData::setServer(const QString &value)
{
    if (value != server) {
        server = value;
        changed = true;
    }
}

void ConfigurationData::setUserName(const QString &value)
{
    if (value != userName) {
        userName = value;
        changed = true;
    }
}

void ConfigurationData::setPassword(const QString &value)
{
    if (value != password) {
        password = value;
        changed = true;
    }
}

void ConfigurationData::setMessage(const QString &value)
{
    if (value != message)
        message = value;
}

void ConfigurationData::setPort(int value)
{
    if (value != port)
        port = value;
}
