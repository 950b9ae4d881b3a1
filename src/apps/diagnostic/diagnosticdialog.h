#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class DiagnosticDialog;
}

// Shows the stored connection settings read-only and every status text of the CTI client;
// its one button makes the client connect and log in.
class DiagnosticDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DiagnosticDialog(QWidget *parent = nullptr);
    ~DiagnosticDialog() override;

private:
    void showStatus(const QString &text);

    Ui::DiagnosticDialog *ui;
    QString server;
    QString port;
    QString userName;
    QString password;
    QString message;
};
