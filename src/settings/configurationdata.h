#pragma once

#include <QSharedPointer>
#include <QString>

class IniFile;

// The settings record shared by both programs through one INI file in the machine-wide
// program-data folder. Holds no file open: loadData() right before reading values,
// synchronize() right after changing them (it writes every field).
class ConfigurationData
{
public:
    ConfigurationData();

    void loadData();
    // False when the folder cannot be created or any key cannot be written; errorString() then
    // says why, as the system put it.
    bool synchronize();
    QString errorString() const { return failure; }

    QString getServer() const { return server; }
    QString getUserName() const { return userName; }
    QString getPassword() const { return password; }
    QString getMessage() const { return message; }
    int getPort() const { return port; }
    bool getLogger() const { return logger; }
    bool isChanged() const { return changed; }
    // Multi-user mode is prepared in the protocol but switched off in this system.
    bool isMultiUser() const { return false; }

    // Server, user name and password raise the changed flag when they really change.
    void setServer(const QString &value);
    void setUserName(const QString &value);
    void setPassword(const QString &value);
    void setMessage(const QString &value);
    void setPort(int value);
    void setLogger(bool value) { logger = value; }
    void setMultiUser(bool value) { multiUser = value; }
    void setChanged(bool value) { changed = value; }

    QString settingsFilePath() const;

private:
    QString message;
    bool logger = false;
    bool changed = false;
    QString server;
    QString userName;
    bool multiUser = false;
    QString password;
    QString installationDir;
    int port = 0;
    QSharedPointer<IniFile> iniFile;
    QString failure;
};
