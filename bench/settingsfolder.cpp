#include "settingsfolder.h"

#include "configurationdata.h"

#include <QFile>
#include <QSettings>

SettingsFolder::SettingsFolder(quint16 port)
    : previousProgramData(qgetenv("ProgramData"))
{
    qputenv("ProgramData", QFile::encodeName(dir.path()));
    // The registry stand-in too, so that nothing outside the folder is read.
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, dir.filePath(QStringLiteral("registry")));
    ConfigurationData settings;
    settings.loadData();
    settings.setServer(QStringLiteral("127.0.0.1"));
    settings.setPort(port);
    settings.setUserName(QStringLiteral("demo"));
    settings.setPassword(QStringLiteral("demo"));
    settings.setChanged(false);
    settings.synchronize();
}

SettingsFolder::~SettingsFolder()
{
    if (previousProgramData.isNull())
        qunsetenv("ProgramData");
    else
        qputenv("ProgramData", previousProgramData);
}
