#include "configurationdata.h"
#include "configurationdialog.h"
#include "cticonnector.h"
#include "demoserver.h"
#include "logger.h"
#include "testenvironment.h"

#include <QtTest>
#include <QtWidgets>

// The two programs meet only in the settings file: what the configuration dialog saves, the
// client picks up at its next reconnect check.
class tst_Handover : public QObject
{
    Q_OBJECT

    TestEnvironment environment; // before the first log line: it fixes the log file's place
    DemoServer server;
    std::unique_ptr<CTIConnector> connector;

    // Types keys into a widget of the dialog (over its text when replacing), presses OK, and
    // lets the client read the file.
    void saveInDialog(const QString &widget, const QString &keys, bool replacing = false)
    {
        ConfigurationDialog dialog;
        if (replacing)
            dialog.findChild<QLineEdit *>(widget)->selectAll();
        QTest::keyClicks(dialog.findChild<QWidget *>(widget), keys);
        QTest::mouseClick(dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        QVERIFY(QMetaObject::invokeMethod(connector.get(), "checkReconnect"));
    }

    static QByteArray logFile()
    {
        QFile file(Logger::logFilePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase() { QVERIFY(server.listen()); }

    void init()
    {
        server.clearReceived();
        server.setCredentials("demo", "demo");
        environment.writeSettingsFile("[UserData]\r\nserver=127.0.0.1\r\nport=" + QByteArray::number(server.port())
                                      + "\r\nuserName=demo\r\npassword=ZGVtbw==\r\n"); // password "demo"
        connector = std::make_unique<CTIConnector>();
        connector->findChild<QTimer *>("reconnectTimer")->stop(); // the tests run the reconnect check themselves
        connector->login();
        QTRY_COMPARE(environment.storedValue("message"), QString("Logged in"));
    }

    void shouldLogInAgainWithTheUserNameSavedInTheDialog()
    {
        server.setCredentials("demox", "demo");
        saveInDialog("userLineEdit", "x"); // the user name becomes "demox"
        QTRY_COMPARE(server.received("login").last().value("data")["user"].toString(), QString("demox"));
        QCOMPARE(environment.storedValue("changed"), QString("false"));
        QTRY_COMPARE(environment.storedValue("message"), QString("Logged in"));
    }

    // Far longer than one read buffer of the settings file, on both sides.
    void shouldLogInWithALongPasswordSavedInTheDialog()
    {
        const QString password = QString("Geheim-").repeated(150).left(1000);
        server.setCredentials("demo", password);
        saveInDialog("passwordLineEdit", password, true);
        QTRY_COMPARE(server.received("login").last().value("data")["pass"].toString(), password);
        QTRY_COMPARE(environment.storedValue("message"), QString("Logged in"));
    }

    // Switched off in the dialog, the client's log file stops at the client's next check. (That
    // the stored switch turns the file on, tst_ctifaults's password test shows.)
    void shouldStopTheClientsLogFileWithTheLoggingSwitch()
    {
        ConfigurationData settings;
        settings.loadData();
        settings.setLogger(true);
        QVERIFY(settings.synchronize());
        QVERIFY(QMetaObject::invokeMethod(connector.get(), "checkReconnect"));
        QTRY_VERIFY(!logFile().isEmpty());

        saveInDialog("logger", " "); // Space toggles the switch
        const QByteArray before = logFile();
        connector->requestLineStatus();
        QTRY_COMPARE(server.received("requestLineStatus").size(), 1); // sent only after it was logged
        QCOMPARE(logFile(), before);
        QCOMPARE(server.received("login").size(), 1); // the switch alone is no reason to log in again
    }
};

QTEST_MAIN(tst_Handover)
#include "tst_handover.moc"
