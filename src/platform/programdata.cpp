#include "programdata.h"

#include "applicationnames.h"

#include <QDir>
#include <QProcessEnvironment>

QString programDataFolder()
{
    const QString folder = QProcessEnvironment::systemEnvironment().value(QStringLiteral("ProgramData"));
#ifndef Q_OS_WIN
    if (folder.isEmpty())
        return QStringLiteral("/var/lib");
#endif
    return folder;
}

QString settingsFolder()
{
    return programDataFolder() + QDir::separator() + companyName();
}
