#include "diagnosticdialog.h"

#include "ui_diagnosticdialog.h"

#include "configurationdata.h"
#include "cticonnector.h"

DiagnosticDialog::DiagnosticDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DiagnosticDialog)
{
    ui->setupUi(this);

    ConfigurationData settings;
    settings.loadData();
    server = settings.getServer();
    port = QString::number(settings.getPort());
    userName = settings.getUserName();
    password = settings.getPassword();
    message = settings.getMessage();

    ui->server->setText(server + QLatin1Char(':') + port);
    ui->username->setText(userName);
    ui->password->setText(password);
    ui->status->setText(message);
    // A disabled field cannot be scrolled: its tool tip shows what it shows, whole (a realistic
    // server name is longer than the field). The password stays masked there too.
    for (QLineEdit *field : {ui->server, ui->username, ui->password})
        field->setToolTip(field->displayText());

    CTIConnector *connector = CTIConnector::instance();
    connect(ui->test_btn, &QPushButton::clicked, connector, &CTIConnector::login);
    // The dialog as context: no status text can reach the label after the dialog is gone.
    connect(connector, &CTIConnector::clientState, this, [this](const QString &msg) { ui->status->setText(msg); });
}

DiagnosticDialog::~DiagnosticDialog()
{
    CTIConnector::instance()->stop();
    delete ui;
}
