#include "configurationdialog.h"
#include "ui_configurationdialog.h"

#include "applicationnames.h"
#include "dialogdata.h"
#include "logger.h"

#include <QMessageBox>
#include <QVersionNumber>

ConfigurationDialog::ConfigurationDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ConfigurationDialog)
    , data(new DialogData)
{
    Logger::verbose("ConfigurationDialog initialized", Q_FUNC_INFO);
    ui->setupUi(this);
    setWindowTitle(tr("%1 TAPI Treiber Konfiguration").arg(companyName()));

    data->load();
    updateControlsWithData();
    ui->version_label->setText(
        tr("version: %1").arg(QVersionNumber::fromString(QStringLiteral(CONFIGURATION_TOOL_VERSION)).toString()));
    ui->radioButton->hide();

    ui->logger->setChecked(data->logger);
    connect(ui->logger, &QRadioButton::clicked, this, [this](bool checked) { data->logger = checked; });
    updateUserMode();
    // The first field of the tab order, not the OK button that comes first among the widgets.
    ui->serverLineEdit->setFocus();
}

ConfigurationDialog::~ConfigurationDialog()
{
    delete data;
    delete ui;
}

bool ConfigurationDialog::synchronize()
{
    QString file;
    QString reason;
    if (data->save(&file, &reason))
        return true;
    QMessageBox::warning(this, windowTitle(),
                         tr("Die Einstellungen konnten nicht gespeichert werden.\n\nDatei: %1\nGrund: %2").arg(file, reason));
    return false;
}

void ConfigurationDialog::updateControlsWithData()
{
    ui->serverLineEdit->setText(data->server);
    ui->userLineEdit->setText(data->userName);
    ui->passwordLineEdit->setText(data->password);
    // The outcome of the CTI client's last connection attempt; empty before the first one.
    ui->msg->setText(data->message);
}

void ConfigurationDialog::setUserField(bool enabled)
{
    data->multiUser = enabled;
    updateUserMode();
}

void ConfigurationDialog::on_serverLineEdit_textEdited(const QString &value)
{
    data->server = value;
}

void ConfigurationDialog::on_passwordLineEdit_textEdited(const QString &value)
{
    data->password = value;
}

void ConfigurationDialog::on_userLineEdit_textEdited(const QString &value)
{
    data->userName = value;
}

void ConfigurationDialog::on_buttonBox_accepted()
{
    // Saved before closing, so that an administrator can try OK again after a failure.
    if (synchronize())
        accept();
}

void ConfigurationDialog::updateUserMode()
{
    // In multi-user mode the client logs in with an authentication token and no user name.
    ui->radioButton->setText(data->multiUser ? tr("Multi-User") : tr("Single-User"));
    ui->label_3->setText(data->multiUser ? tr("Authtoken:") : tr("Passwort:"));
    ui->userLineEdit->setVisible(!data->multiUser);
    ui->label_2->setVisible(!data->multiUser);
}
