#pragma once

#include <QDialog>

class DialogData;

namespace Ui {
class ConfigurationDialog;
}

// Lets an administrator edit server, user name, password and the logging switch of the
// settings. OK stores them; a changed server, user name or password makes a running CTI
// client log in again.
class ConfigurationDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConfigurationDialog(QWidget *parent = nullptr);
    ~ConfigurationDialog() override;

public slots:
    // Stores the working copy; when that fails, says so in a message box and returns false.
    bool synchronize();
    void updateControlsWithData();

private slots:
    void setUserField(bool enabled);
    // Connected by name in setupUi; textEdited comes only from the user, never from setText.
    void on_serverLineEdit_textEdited(const QString &value);
    void on_passwordLineEdit_textEdited(const QString &value);
    void on_userLineEdit_textEdited(const QString &value);
    // Saves, and closes the dialog only when the settings were stored.
    void on_buttonBox_accepted();

private:
    void updateUserMode();

    Ui::ConfigurationDialog *ui;
    DialogData *data;
};
