#include "configurationdata.h"
#include "configurationdialog.h"
#include "messagecapture.h"
#include "testenvironment.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

class tst_ConfigurationDialog : public QObject
{
    Q_OBJECT

    // The values of the stored record, in the order of stored().
    enum Field { Server, UserName, Password, Port, Message, Logging, Changed };

    TestEnvironment environment;
    std::unique_ptr<ConfigurationDialog> dialog;

    // The password is "s3cret" in Base64.
    static QByteArray settingsFile(bool changed = false, const QByteArray &message = "Logged in", bool logging = false)
    {
        return "[UserData]\r\nserver=pbx.example\r\nuserName=anna\r\npassword=czNjcmV0\r\nport=7000\r\nmessage="
            + message + "\r\nlogger=" + (logging ? "true" : "false") + "\r\nchanged=" + (changed ? "true" : "false")
            + "\r\n";
    }

    static QVariantList stored()
    {
        ConfigurationData record;
        record.loadData();
        return {record.getServer(), record.getUserName(), record.getPassword(), record.getPort(),
                record.getMessage(), record.getLogger(), record.isChanged()};
    }

    // The object names of the widgets that show the Fields, by Field; the port has none.
    inline static const QStringList names{"serverLineEdit", "userLineEdit", "passwordLineEdit", "", "msg", "logger"};

    QWidget *widgetOf(int field) const { return dialog->findChild<QWidget *>(names[field]); }

    QVariant shown(int field) const { return widgetOf(field)->property(field == Logging ? "checked" : "text"); }

    void press(QDialogButtonBox::StandardButton which) { dialog->findChild<QDialogButtonBox *>()->button(which)->click(); }

private slots:
    // Every test starts without a settings file, or a folder in its place that a failed test left.
    void init()
    {
        QFile::remove(environment.settingsFilePath());
        QDir(environment.settingsFilePath()).removeRecursively();
    }

    // What a user sees: title, labels, masked password, the hidden multi-user switch, tab order.
    void shouldShowTheDesignedForm()
    {
        MessageCapture capture;
        dialog = std::make_unique<ConfigurationDialog>();
        QVERIFY(capture.contains("[Verbose] [ConfigurationDialog::ConfigurationDialog(QWidget*)]:: ConfigurationDialog initialized"));
        QCOMPARE(dialog->windowTitle(), "Brenvale Europe GmbH TAPI Treiber Konfiguration");
        const QMap<QString, QString> texts{{"label", "Server:"}, {"label_2", "Benutzer:"}, {"label_3", "Passwort:"},
                                           {"logger", "Logging"}, {"version_label", "version: 6.2.0"}};
        for (auto it = texts.cbegin(); it != texts.cend(); ++it)
            QCOMPARE(dialog->findChild<QWidget *>(it.key())->property("text").toString(), it.value());
        QCOMPARE(dialog->findChild<QLineEdit *>("passwordLineEdit")->echoMode(), QLineEdit::Password);
        dialog->show();
        QVERIFY(dialog->findChild<QWidget *>("radioButton")->isHidden());
        QVERIFY(widgetOf(UserName)->isVisible() && dialog->findChild<QWidget *>("label_2")->isVisible());
        QCOMPARE(widgetOf(Server)->nextInFocusChain(), widgetOf(UserName));
        QCOMPARE(widgetOf(UserName)->nextInFocusChain(), widgetOf(Password));
    }

    void shouldShowTheStoredValuesAndSaveTheEditsOnOk_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("keys"); // typed into the field's widget: "\b" is Backspace, Space toggles
        QTest::addColumn<bool>("changed");

        // Without keys: OK without edits.
        QTest::newRow("flag raised, logging on") << settingsFile(true, "Logged in", true) << int(Server) << "" << true;
        QTest::newRow("no settings file") << QByteArray() << int(Server) << "" << false;
        QTest::newRow("new server") << settingsFile() << int(Server) << "2" << true;
        QTest::newRow("new user name") << settingsFile() << int(UserName) << "2" << true;
        QTest::newRow("new password") << settingsFile() << int(Password) << "2" << true;
        QTest::newRow("server typed back") << settingsFile() << int(Server) << "x\b" << false;
        QTest::newRow("user name typed back") << settingsFile() << int(UserName) << "x\b" << false;
        QTest::newRow("password typed back") << settingsFile() << int(Password) << "x\b" << false;
        QTest::newRow("logging on") << settingsFile() << int(Logging) << " " << false;
        QTest::newRow("logging on and off, flag raised") << settingsFile(true) << int(Logging) << "  " << true;
        // Far longer than one read buffer of the settings file.
        QTest::newRow("long server") << QByteArray() << int(Server) << QString("pbx-").repeated(250) << true;
        QTest::newRow("long password") << settingsFile() << int(Password) << QString("Passwort-").repeated(112).left(1000) << true;
    }

    void shouldShowTheStoredValuesAndSaveTheEditsOnOk()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, field);
        QFETCH(QString, keys);
        QFETCH(bool, changed);
        if (!file.isEmpty())
            environment.writeSettingsFile(file);
        const QVariantList before = stored();
        dialog = std::make_unique<ConfigurationDialog>();
        for (int shownField : {Server, UserName, Password, Message, Logging})
            QCOMPARE(shown(shownField), before[shownField]);

        QTest::keyClicks(widgetOf(field), keys);
        if (field != Logging) // whole, and what was typed back is gone
            QCOMPARE(shown(field).toString(), before[field].toString() + QString(keys).remove("x\b"));
        // OK saves before it ends the dialog: all is stored when accepted() comes.
        QVariantList whenAccepted;
        connect(dialog.get(), &QDialog::accepted, this, [&] { whenAccepted = stored(); });
        press(QDialogButtonBox::Ok);
        QCOMPARE(dialog->result(), int(QDialog::Accepted));

        QVERIFY(QFile::exists(environment.settingsFilePath())); // also when there was none
        QVariantList expected = before;
        expected[field] = shown(field);
        expected[Changed] = changed;
        QCOMPARE(whenAccepted, expected);
        QCOMPARE(stored(), expected);
        dialog = std::make_unique<ConfigurationDialog>(); // shows what was saved
        for (int shownField : {Server, UserName, Password, Message, Logging})
            QCOMPARE(shown(shownField), expected[shownField]);
    }

    // The port and the status have no field: OK keeps what other programs stored meanwhile.
    void shouldKeepWhatOthersStoredWhileOpen()
    {
        environment.writeSettingsFile(settingsFile(true));
        dialog = std::make_unique<ConfigurationDialog>();
        // Meanwhile the CTI client logs in with the new values and lowers the flag, and another
        // program changes the port.
        environment.writeSettingsFile(settingsFile(false, "Authentication failed").replace("port=7000", "port=7001"));
        press(QDialogButtonBox::Ok);
        QCOMPARE(stored(), QVariantList({"pbx.example", "anna", "s3cret", 7001, "Authentication failed", false, false}));
    }

    // An administrator must know that nothing was stored, and be able to try again.
    void shouldStayOpenAndSayWhyWhenSavingFails()
    {
        QVERIFY(QDir().mkpath(environment.settingsFilePath())); // a folder where the file should be
        dialog = std::make_unique<ConfigurationDialog>();
        dialog->show();
        QTest::keyClicks(widgetOf(Server), "pbx.example");
        QString warning;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            warning = box->text();
            box->accept();
        });
        press(QDialogButtonBox::Ok);
        QVERIFY(warning.startsWith("Die Einstellungen konnten nicht gespeichert werden.\n\nDatei: "
                                   + QDir::toNativeSeparators(environment.settingsFilePath()) + "\nGrund: "));
        QVERIFY(warning.size() > warning.indexOf("Grund: ") + 7); // the system's reason follows
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected)); // not accepted: exec() goes on

        QVERIFY(QDir(environment.settingsFilePath()).removeRecursively());
        press(QDialogButtonBox::Ok);
        QVERIFY(dialog->isHidden());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(stored().at(Server), "pbx.example");
    }

    // An administrator who only types: the server field first, Tab to the next one, Return for OK.
    void shouldTakeKeysFromTheServerFieldOn()
    {
        environment.writeSettingsFile(settingsFile());
        dialog = std::make_unique<ConfigurationDialog>();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        QCOMPARE(QApplication::focusWidget(), widgetOf(Server));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // selects the field's text
        QTest::keyClicks(QApplication::focusWidget(), "berta");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(dialog->isHidden());
        QCOMPARE(stored().at(UserName), "berta");
    }

    void shouldLeaveTheFileUntouchedOnCancel()
    {
        // Lower-case keys and LF endings: any rewrite by the store would show.
        const QByteArray file = settingsFile().replace("\r\n", "\n").replace("userName", "username");
        environment.writeSettingsFile(file);
        dialog = std::make_unique<ConfigurationDialog>();
        dialog->show();
        QTest::keyClicks(widgetOf(Password), "2");
        press(QDialogButtonBox::Cancel);
        QVERIFY(dialog->isHidden());
        dialog.reset(); // the program destroys the dialog after closing it
        QCOMPARE(environment.readSettingsFile(), file);
    }
};

QTEST_MAIN(tst_ConfigurationDialog)
#include "tst_configurationdialog.moc"
