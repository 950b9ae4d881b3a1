#pragma once

#include <QString>

// The configuration dialog's working copy of the settings. The widgets never hold the truth:
// edits land here as they happen, and only save() writes them to the settings file.
class DialogData
{
public:
    void load();
    // False when the settings could not be stored, with the file and the system's reason.
    bool save(QString *file = nullptr, QString *reason = nullptr) const;

    QString server;
    QString userName;
    QString password;
    QString message;
    bool multiUser = false;
    int port = 0;
    bool logger = false;
};
