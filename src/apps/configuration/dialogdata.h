#pragma once

#include <QString>

// The configuration dialog's working copy of the settings. The widgets never hold the truth:
// edits land here as they happen, and only save() writes them to the settings file.
class DialogData
{
public:
    void load();
    void save() const;

    QString server;
    QString userName;
    QString password;
    QString message;
    bool multiUser = false;
    int port = 0;
    bool logger = false;
};
