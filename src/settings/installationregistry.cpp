#include "installationregistry.h"

#include "applicationnames.h"

#include <QSettings>
#include <QSysInfo>

QString installationRegistryPath()
{
    const QChar separator = QLatin1Char('\\');
    QString path = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE");
    if (QSysInfo::buildCpuArchitecture() == QLatin1String("x86_64"))
        path += separator + QStringLiteral("Wow6432Node");
    return path + separator + companyName() + separator + applicationName();
}

std::unique_ptr<QSettings> openInstallationRegistry()
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(installationRegistryPath(), QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::SystemScope, companyName(),
                                       applicationName());
#endif
}
