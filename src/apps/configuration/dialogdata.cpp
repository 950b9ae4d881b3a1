#include "dialogdata.h"

#include "configurationdata.h"

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

void DialogData::save() const
{
    // Re-read right before writing: changed is raised only against what is stored now, and a
    // flag the CTI client has not yet lowered stays raised.
    ConfigurationData record;
    record.loadData();
    record.setPassword(password);
    record.setPort(port);
    record.setMultiUser(multiUser);
    record.setServer(server);
    record.setUserName(userName);
    record.setMessage(message);
    record.setLogger(logger);
    record.synchronize();
}
