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

    void shouldBuildTheDesignedForm_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("cell"); // column, row, column span, row span; null: not in the grid
        QTest::addColumn<QVariantMap>("properties");

        const int right = Qt::AlignRight | Qt::AlignVCenter;
        const QString title = "Brenvale Europe GmbH TAPI Treiber Konfiguration";
        QTest::newRow("dialog") << "ConfigurationDialog" << QRect() << QVariantMap{{"windowTitle", title}};
        QTest::newRow("grid") << "gridLayout" << QRect() << QVariantMap{{"spacing", 15}};
        QTest::newRow("server label") << "label" << QRect(1, 0, 1, 1) << QVariantMap{{"text", "Server:"}};
        QTest::newRow("server") << "serverLineEdit" << QRect(2, 0, 2, 1) << QVariantMap();
        QTest::newRow("user label") << "label_2" << QRect(1, 1, 1, 1)
                                    << QVariantMap{{"text", "Benutzer:"}, {"visible", true}};
        QTest::newRow("user") << "userLineEdit" << QRect(2, 1, 2, 1) << QVariantMap{{"visible", true}};
        QTest::newRow("password label") << "label_3" << QRect(1, 2, 1, 1) << QVariantMap{{"text", "Passwort:"}};
        QTest::newRow("password") << "passwordLineEdit" << QRect(2, 2, 2, 1)
                                  << QVariantMap{{"echoMode", QLineEdit::Password}};
        QTest::newRow("multi-user") << "radioButton" << QRect(1, 3, 1, 1) << QVariantMap{{"visible", false}};
        QTest::newRow("logging") << "logger" << QRect(1, 4, 1, 1)
                                 << QVariantMap{{"text", "Logging"}, {"autoExclusive", false}};
        QTest::newRow("message") << "msg" << QRect(2, 4, 1, 1)
                                 << QVariantMap{{"alignment", right}, {"font", QFont(QFont().family(), 10)}};
        QTest::newRow("buttons") << "buttonBox" << QRect(2, 5, 1, 1) << QVariantMap();
        QTest::newRow("version") << "version_label" << QRect(2, 6, 1, 1) << QVariantMap{{"text", "version: 6.2.0"}};
    }

    void shouldBuildTheDesignedForm()
    {
        QFETCH(QString, name);
        QFETCH(QRect, cell);
        QFETCH(QVariantMap, properties);
        dialog = std::make_unique<ConfigurationDialog>();
        dialog->show();
        QObject *object = name == dialog->objectName() ? dialog.get() : dialog->findChild<QObject *>(name);
        QVERIFY(object);
        if (!cell.isNull()) {
            auto grid = qobject_cast<QGridLayout *>(dialog->layout());
            int row, column, rowSpan, columnSpan;
            grid->getItemPosition(grid->indexOf(qobject_cast<QWidget *>(object)), &row, &column, &rowSpan, &columnSpan);
            QCOMPARE(QRect(column, row, columnSpan, rowSpan), cell);
        }
        for (auto it = properties.cbegin(); it != properties.cend(); ++it)
            QCOMPARE(object->property(qPrintable(it.key())), it.value());
    }

    void shouldDeclareItsSlotsAndLogItsStart()
    {
        const QMetaObject &meta = ConfigurationDialog::staticMetaObject;
        const QStringList declared{"synchronize()", "updateControlsWithData()", "setUserField(bool)",
                                   "on_serverLineEdit_textEdited(QString)", "on_passwordLineEdit_textEdited(QString)",
                                   "on_userLineEdit_textEdited(QString)", "on_buttonBox_accepted()"};
        // indexOfSlot finds slots only; the count rules out further methods.
        for (int i = 0; i < declared.size(); ++i)
            QCOMPARE(meta.indexOfSlot(qPrintable(declared[i])), meta.methodOffset() + i);
        QCOMPARE(meta.methodCount(), meta.methodOffset() + declared.size());

        MessageCapture capture;
        ConfigurationDialog dialog;
        QVERIFY(capture.contains(QStringLiteral("[Verbose] [ConfigurationDialog::ConfigurationDialog(QWidget*)]:: "
                                                "ConfigurationDialog initialized")));
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

    // Values far longer than one read buffer, typed and saved, come back whole in a new dialog.
    void shouldKeepLongValuesWhole()
    {
        const QString server = QString("pbx-").repeated(250);
        const QString password = QString("Passwort-").repeated(112).left(1000);
        dialog = std::make_unique<ConfigurationDialog>();
        QTest::keyClicks(widgetOf(Server), server);
        QTest::keyClicks(widgetOf(Password), password);
        press(QDialogButtonBox::Ok);
        dialog = std::make_unique<ConfigurationDialog>();
        QCOMPARE(shown(Server).toString(), server);
        QCOMPARE(shown(Password).toString(), password);
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
