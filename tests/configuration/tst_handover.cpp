#include "configurationdialog.h"
#include "connectorfixture.h"
#include "logger.h"

#include <QtTest>
#include <QtWidgets>

// The two programs meet only in the settings file: what the configuration dialog saves, the
// client picks up at its next reconnect check.
class tst_Handover : public QObject
{
    Q_OBJECT

    // One for the whole run: its settings folder exists before the first log line, which fixes
    // the log file's place.
    ConnectorFixture fixture;

    // Types over the text of each named widget of the dialog (Space toggles the switch),
    // presses OK, and lets the client read the file.
    void saveInDialog(const QMap<QString, QString> &typed)
    {
        ConfigurationDialog dialog;
        for (auto it = typed.cbegin(); it != typed.cend(); ++it) {
            if (auto *edit = dialog.findChild<QLineEdit *>(it.key()))
                edit->selectAll();
            QTest::keyClicks(dialog.findChild<QWidget *>(it.key()), it.value());
        }
        QTest::mouseClick(dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        fixture.checkReconnect();
    }

    static QByteArray logFile()
    {
        QFile file(Logger::logFilePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void init()
    {
        fixture.server.setCredentials("demo", "demo");
        fixture.storeSettings("demo", "demo");
        fixture.server.clearReceived();
        QVERIFY(fixture.login());
    }

    // A new user name, and a password far longer than one read buffer of the settings file:
    // the client logs in again with both, whole, and lowers the changed flag.
    void shouldLogInAgainWithWhatWasSavedInTheDialog()
    {
        const QString password = QString("Geheim-").repeated(150).left(1000);
        fixture.server.setCredentials("anna", password);
        saveInDialog({{"userLineEdit", "anna"}, {"passwordLineEdit", password}});
        QTRY_COMPARE(fixture.environment->storedValue("message"), QString("Logged in"));
        QCOMPARE(fixture.sent("login").last().value("user").toString(), QString("anna"));
        QCOMPARE(fixture.sent("login").last().value("pass").toString(), password);
        QCOMPARE(fixture.environment->storedValue("changed"), QString("false"));
    }

    // Switched off in the dialog, the client's log file stops at the client's next check. (That
    // the stored switch turns the file on, tst_ctifaults's password test shows.)
    void shouldStopTheClientsLogFileWithTheLoggingSwitch()
    {
        ConfigurationData settings;
        settings.loadData();
        settings.setLogger(true);
        QVERIFY(settings.synchronize());
        fixture.checkReconnect();
        QTRY_VERIFY(!logFile().isEmpty());

        saveInDialog({{"logger", " "}});
        const QByteArray before = logFile();
        fixture.connector->requestLineStatus();
        QTRY_COMPARE(fixture.sent("requestLineStatus").size(), 1); // sent only after it was logged
        QCOMPARE(logFile(), before);
        QCOMPARE(fixture.sent("login").size(), 1); // the switch alone is no reason to log in again
    }
};

QTEST_MAIN(tst_Handover)
#include "tst_handover.moc"
