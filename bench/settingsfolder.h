#pragma once

#include <QTemporaryDir>

// A private program-data folder whose settings make the client log in to 127.0.0.1:port as
// demo/demo. The variable "ProgramData" points there (also for child processes) while it lives.
class SettingsFolder
{
public:
    explicit SettingsFolder(quint16 port);
    ~SettingsFolder();

    bool isValid() const { return dir.isValid(); }
    QString path() const { return dir.path(); }

private:
    QTemporaryDir dir;
    QByteArray previousProgramData;
};
