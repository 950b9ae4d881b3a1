#include "configurationdata.h"
#include "configurationdialog.h"
#include "messagecapture.h"
#include "testenvironment.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

QByteArray settingsFile(bool changed = false, const QByteArray &message = "Logged in")
{
    return "[UserData]\r\nserver=pbx.example\r\nuserName=anna\r\npassword=" + QByteArray("s3cret").toBase64()
        + "\r\nport=7000\r\nmessage=" + message + "\r\nlogger=false\r\nchanged=" + (changed ? "true" : "false")
        + "\r\n";
}

// server, user name, password, port, message, logger, changed
QVariantList stored()
{
    ConfigurationData record;
    record.loadData();
    return {record.getServer(), record.getUserName(), record.getPassword(), record.getPort(),
            record.getMessage(), record.getLogger(), record.isChanged()};
}

enum Field { Server, UserName, Password, Port, Message, Logging, Changed };

template <typename T>
T *widget(const QDialog &dialog, const char *name)
{
    T *found = dialog.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

// Replaces the text the way a user does, so the dialog's textEdited slots see every keystroke.
void retype(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

void press(const QDialog &dialog, QDialogButtonBox::StandardButton button)
{
    QTest::mouseClick(widget<QDialogButtonBox>(dialog, "buttonBox")->button(button), Qt::LeftButton);
}

} // namespace

class tst_ConfigurationDialog : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> environment;
    std::unique_ptr<ConfigurationDialog> dialog;

    void open()
    {
        dialog = std::make_unique<ConfigurationDialog>();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }

private slots:
    void init() { environment = std::make_unique<TestEnvironment>(); }
    void cleanup()
    {
        dialog.reset();
        environment.reset();
    }

    // Form

    void shouldBuildTheDesignedForm_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QRect>("cell"); // column, row, column span, row span; null: not in the grid
        QTest::addColumn<QVariantMap>("properties");

        QFont small;
        small.setPointSize(10);
        const int right = Qt::AlignRight | Qt::AlignVCenter;
        QTest::newRow("dialog") << "ConfigurationDialog" << "ConfigurationDialog" << QRect()
                                << QVariantMap{{"size", QSize(293, 247)}, {"baseSize", QSize(0, 0)},
                                               {"windowTitle", "Brenvale Europe GmbH TAPI Treiber Konfiguration"}};
        QTest::newRow("grid") << "gridLayout" << "QGridLayout" << QRect() << QVariantMap{{"spacing", 15}};
        QTest::newRow("server label") << "label" << "QLabel" << QRect(1, 0, 1, 1) << QVariantMap{{"text", "Server:"}};
        QTest::newRow("server") << "serverLineEdit" << "QLineEdit" << QRect(2, 0, 2, 1) << QVariantMap();
        QTest::newRow("user label") << "label_2" << "QLabel" << QRect(1, 1, 1, 1)
                                    << QVariantMap{{"text", "Benutzer:"}, {"visible", true}};
        QTest::newRow("user") << "userLineEdit" << "QLineEdit" << QRect(2, 1, 2, 1) << QVariantMap{{"visible", true}};
        QTest::newRow("password label") << "label_3" << "QLabel" << QRect(1, 2, 1, 1)
                                        << QVariantMap{{"text", "Passwort:"}};
        QTest::newRow("password") << "passwordLineEdit" << "QLineEdit" << QRect(2, 2, 2, 1)
                                  << QVariantMap{{"echoMode", int(QLineEdit::Password)}};
        QTest::newRow("multi-user") << "radioButton" << "QRadioButton" << QRect(1, 3, 1, 1)
                                    << QVariantMap{{"enabled", true}, {"visible", false}};
        QTest::newRow("logging") << "logger" << "QRadioButton" << QRect(1, 4, 1, 1)
                                 << QVariantMap{{"text", "Logging"}, {"autoExclusive", false}};
        QTest::newRow("message") << "msg" << "QLabel" << QRect(2, 4, 1, 1)
                                 << QVariantMap{{"font", small}, {"alignment", right}};
        QTest::newRow("buttons") << "buttonBox" << "QDialogButtonBox" << QRect(2, 5, 1, 1)
                                 << QVariantMap{{"orientation", int(Qt::Horizontal)},
                                                {"standardButtons", int(QDialogButtonBox::Ok | QDialogButtonBox::Cancel)}};
        QTest::newRow("version") << "version_label" << "QLabel" << QRect(2, 6, 1, 1)
                                 << QVariantMap{{"text", "version: 6.2.0"}, {"alignment", right}};
    }

    void shouldBuildTheDesignedForm()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QRect, cell);
        QFETCH(QVariantMap, properties);

        ConfigurationDialog form;
        const QSize designedSize = form.size();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QObject *object = name == form.objectName() ? &form : form.findChild<QObject *>(name);
        QVERIFY(object);
        QCOMPARE(QString(object->metaObject()->className()), className);

        if (!cell.isNull()) {
            auto grid = qobject_cast<QGridLayout *>(form.layout());
            QVERIFY(grid);
            int row, column, rowSpan, columnSpan;
            grid->getItemPosition(grid->indexOf(qobject_cast<QWidget *>(object)), &row, &column, &rowSpan, &columnSpan);
            QCOMPARE(QRect(column, row, columnSpan, rowSpan), cell);
        }
        for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
            const QVariant actual = it.key() == "size" ? QVariant(designedSize) : object->property(qPrintable(it.key()));
            if (it->userType() == QMetaType::QFont)
                QCOMPARE(actual.value<QFont>().pointSize(), it->value<QFont>().pointSize());
            else
                QCOMPARE(actual.toString(), it->toString());
        }
    }

    void shouldCreateWidgetsInDeclarationOrder()
    {
        const QStringList declared{"gridLayout", "label_3", "buttonBox", "label_2", "label", "radioButton",
                                   "userLineEdit", "version_label", "logger", "msg", "serverLineEdit",
                                   "passwordLineEdit"};
        ConfigurationDialog form;
        QStringList created;
        for (const QObject *child : form.children()) {
            if (declared.contains(child->objectName()))
                created << child->objectName();
        }
        QCOMPARE(created, declared);
        QCOMPARE(form.findChild<QWidget *>("serverLineEdit")->nextInFocusChain(), form.findChild<QWidget *>("userLineEdit"));
        QCOMPARE(form.findChild<QWidget *>("userLineEdit")->nextInFocusChain(), form.findChild<QWidget *>("passwordLineEdit"));
    }

    void shouldOfferTheDeclaredSlotsOnly()
    {
        const QMetaObject &meta = ConfigurationDialog::staticMetaObject;
        QCOMPARE(meta.className(), "ConfigurationDialog");
        QCOMPARE(meta.superClass(), &QDialog::staticMetaObject);
        QCOMPARE(meta.propertyCount(), meta.propertyOffset());

        QStringList methods;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            const QMetaMethod method = meta.method(i);
            QCOMPARE(method.methodType(), QMetaMethod::Slot);
            methods << (method.access() == QMetaMethod::Public ? "public " : "private ") + method.methodSignature();
        }
        QCOMPARE(methods, QStringList({"public synchronize()", "public updateControlsWithData()",
                                       "private setUserField(bool)",
                                       "private on_serverLineEdit_textEdited(QString)",
                                       "private on_passwordLineEdit_textEdited(QString)",
                                       "private on_userLineEdit_textEdited(QString)",
                                       "private on_buttonBox_accepted()"}));
    }

    // Opening

    void shouldShowTheStoredSettings_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("texts"); // server, user name, password, message
        QTest::addColumn<bool>("logging");

        QTest::newRow("stored values") << settingsFile().replace("logger=false", "logger=true")
                                       << QStringList{"pbx.example", "anna", "s3cret", "Logged in"} << true;
        QTest::newRow("no message yet") << settingsFile(false, "")
                                        << QStringList{"pbx.example", "anna", "s3cret", ""} << false;
        QTest::newRow("no settings file") << QByteArray() << QStringList{"", "", "", ""} << false;
    }

    void shouldShowTheStoredSettings()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, texts);
        QFETCH(bool, logging);
        if (!file.isEmpty())
            environment->writeSettingsFile(file);

        MessageCapture log;
        open();
        QCOMPARE(QStringList({widget<QLineEdit>(*dialog, "serverLineEdit")->text(),
                              widget<QLineEdit>(*dialog, "userLineEdit")->text(),
                              widget<QLineEdit>(*dialog, "passwordLineEdit")->text(),
                              widget<QLabel>(*dialog, "msg")->text()}),
                 texts);
        QCOMPARE(widget<QRadioButton>(*dialog, "logger")->isChecked(), logging);
        QCOMPARE(QFile::exists(environment->settingsFilePath()), !file.isEmpty());

        const QStringList lines = log.matching("ConfigurationDialog initialized");
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains("[Verbose] [ConfigurationDialog::ConfigurationDialog("), qPrintable(lines.first()));
    }

    // OK

    void shouldWriteBackUnchangedValuesOnOk_data()
    {
        QTest::addColumn<bool>("changed");
        QTest::newRow("flag lowered") << false;
        QTest::newRow("flag still raised") << true;
    }

    void shouldWriteBackUnchangedValuesOnOk()
    {
        QFETCH(bool, changed);
        environment->writeSettingsFile(settingsFile(changed));
        const QVariantList before = stored();
        open();
        press(*dialog, QDialogButtonBox::Ok);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(stored(), before);
    }

    void shouldStoreDefaultsWhenOpenedWithoutSettingsFile()
    {
        open();
        press(*dialog, QDialogButtonBox::Ok);
        QCOMPARE(stored(), QVariantList({"", "", "", 28888, "", false, false}));
        QVERIFY(environment->readSettingsFile().contains("port=28888\r\n"));
    }

    void shouldRaiseChangedOnlyForRealCredentialChanges_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("field");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<bool>("changed");

        QTest::newRow("new server") << "serverLineEdit" << int(Server) << QStringList{"pbx2.example"} << true;
        QTest::newRow("new user name") << "userLineEdit" << int(UserName) << QStringList{"bernd"} << true;
        QTest::newRow("new password") << "passwordLineEdit" << int(Password) << QStringList{"n3w pass word"} << true;
        QTest::newRow("server typed back") << "serverLineEdit" << int(Server) << QStringList{"x", "pbx.example"} << false;
        QTest::newRow("user name typed back") << "userLineEdit" << int(UserName) << QStringList{"x", "anna"} << false;
        QTest::newRow("password typed back") << "passwordLineEdit" << int(Password) << QStringList{"x", "s3cret"} << false;
    }

    void shouldRaiseChangedOnlyForRealCredentialChanges()
    {
        QFETCH(QString, edit);
        QFETCH(int, field);
        QFETCH(QStringList, typed);
        QFETCH(bool, changed);
        environment->writeSettingsFile(settingsFile());
        QVariantList expected = stored();
        open();
        for (const QString &text : typed)
            retype(dialog->findChild<QLineEdit *>(edit), text);
        press(*dialog, QDialogButtonBox::Ok);

        expected[field] = typed.last();
        expected[Changed] = changed;
        QCOMPARE(stored(), expected);
    }

    void shouldStoreTheLoggingSwitchAlone_data()
    {
        QTest::addColumn<int>("clicks");
        QTest::addColumn<bool>("logging");
        QTest::newRow("switched on") << 1 << true;
        QTest::newRow("switched on and off again") << 2 << false;
    }

    void shouldStoreTheLoggingSwitchAlone()
    {
        QFETCH(int, clicks);
        QFETCH(bool, logging);
        environment->writeSettingsFile(settingsFile());
        QVariantList expected = stored();
        open();
        for (int i = 0; i < clicks; ++i)
            QTest::mouseClick(widget<QRadioButton>(*dialog, "logger"), Qt::LeftButton);
        press(*dialog, QDialogButtonBox::Ok);

        expected[Logging] = logging;
        QCOMPARE(stored(), expected);
    }

    void shouldReplaceStatusWrittenWhileOpenButKeepItsChangedFlag()
    {
        environment->writeSettingsFile(settingsFile(true));
        open();
        // Meanwhile the CTI client logs in with the new values and lowers the flag.
        ConfigurationData client;
        client.loadData();
        client.setMessage("Authentication failed");
        client.setChanged(false);
        QVERIFY(client.synchronize());

        press(*dialog, QDialogButtonBox::Ok);
        QCOMPARE(stored().at(Message).toString(), QString("Logged in"));
        QCOMPARE(stored().at(Changed).toBool(), false);
    }

    void shouldSaveAfterAcceptHasEndedTheModalLoop()
    {
        environment->writeSettingsFile(settingsFile());
        ConfigurationDialog modal;
        QString serverWhenAccepted;
        connect(&modal, &QDialog::accepted, this, [&] { serverWhenAccepted = stored().at(Server).toString(); });
        QTimer::singleShot(0, &modal, [&] {
            retype(widget<QLineEdit>(modal, "serverLineEdit"), "pbx2.example");
            press(modal, QDialogButtonBox::Ok);
        });
        QTimer::singleShot(10000, &modal, &QDialog::reject); // keeps a broken OK from hanging the suite

        QCOMPARE(modal.exec(), int(QDialog::Accepted));
        QCOMPARE(serverWhenAccepted, QString("pbx.example"));
        QCOMPARE(stored().at(Server).toString(), QString("pbx2.example"));
    }

    // Cancel

    void shouldLeaveTheFileUntouchedWhenClosedWithoutOk_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("window closed") << "close";
    }

    void shouldLeaveTheFileUntouchedWhenClosedWithoutOk()
    {
        QFETCH(QString, how);
        // Lower-case keys and LF endings: any rewrite by the store would show.
        const QByteArray file = settingsFile().replace("\r\n", "\n").replace("userName", "username");
        environment->writeSettingsFile(file);
        open();
        auto password = widget<QLineEdit>(*dialog, "passwordLineEdit");
        retype(password, "other");
        QTest::mouseClick(widget<QRadioButton>(*dialog, "logger"), Qt::LeftButton);
        if (how == "cancel")
            press(*dialog, QDialogButtonBox::Cancel);
        else if (how == "escape")
            QTest::keyClick(password, Qt::Key_Escape);
        else
            dialog->close();

        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(environment->readSettingsFile(), file);
    }
};

QTEST_MAIN(tst_ConfigurationDialog)
#include "tst_configurationdialog.moc"
