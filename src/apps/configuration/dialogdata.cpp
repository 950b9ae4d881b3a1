#include "dialogdata.h"

#include "configurationdata.h"

#include <QDir>

void DialogData::load()
{
    ConfigurationData record;
    record.loadData();
    server = record.getServer();
    userName = record.getUserName();
    multiUser = record.isMultiUser();
    password = record.getPassword();
    port = record.getPort();
    message = record.getMessage();
    logger = record.getLogger();
}

bool DialogData::save(QString *file, QString *reason) const
{
    // Re-read right before writing: changed is raised only against what is stored now, and a
    // flag the CTI client has not yet lowered stays raised. The port and the status message have
    // no field in the dialog: they stay as stored now, written by other programs meanwhile.
    ConfigurationData record;
    record.loadData();
    record.setPassword(password);
    record.setMultiUser(multiUser);
    record.setServer(server);
    record.setUserName(userName);
    record.setLogger(logger);
    if (record.synchronize())
        return true;
    if (file)
        *file = QDir::toNativeSeparators(record.settingsFilePath());
    if (reason)
        *reason = record.errorString();
    return false;
}
