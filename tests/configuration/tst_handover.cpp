#include "configurationdata.h"
#include "configurationdialog.h"
#include "cticonnector.h"
#include "demoserver.h"
#include "logger.h"
#include "messagecapture.h"
#include "testenvironment.h"

#include <QtTest>
#include <QtWidgets>

// The two programs meet only in the settings file: what the configuration dialog saves, the
// client picks up at its next reconnect check.
class tst_Handover : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment; // before the first log line: it fixes the log file's place
    DemoServer server;
    std::unique_ptr<CTIConnector> connector;

    static ConfigurationData stored()
    {
        ConfigurationData settings;
        settings.loadData();
        return settings;
    }

    void checkReconnect() { QVERIFY(QMetaObject::invokeMethod(connector.get(), "checkReconnect")); }

    static void saveInDialog(const std::function<void(ConfigurationDialog &)> &edit)
    {
        ConfigurationDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        edit(dialog);
        QTest::mouseClick(dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    }

    static QByteArray logFile()
    {
        QFile file(Logger::logFilePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void init()
    {
        QVERIFY(server.listen());
        server.setCredentials(QStringLiteral("demo"), QStringLiteral("demo"));
        ConfigurationData settings;
        settings.setServer(QStringLiteral("127.0.0.1"));
        settings.setPort(server.port());
        settings.setUserName(QStringLiteral("demo"));
        settings.setPassword(QStringLiteral("demo"));
        QVERIFY(settings.synchronize());
        connector = std::make_unique<CTIConnector>();
        connector->findChild<QTimer *>()->stop();
        QSignalSpy states(connector.get(), &CTIConnector::clientState);
        connector->login();
        QTRY_COMPARE(states.last().first().toString(), QStringLiteral("Logged in"));
    }

    void cleanup()
    {
        connector.reset();
        server.close();
        server.clearReceived();
    }

    void shouldLogInAgainWithTheUserNameSavedInTheDialog()
    {
        server.setCredentials(QStringLiteral("bert"), QStringLiteral("demo"));
        saveInDialog([](ConfigurationDialog &dialog) {
            auto *user = dialog.findChild<QLineEdit *>(QStringLiteral("userLineEdit"));
            user->selectAll();
            QTest::keyClicks(user, QStringLiteral("bert"));
        });
        QVERIFY(stored().isChanged());

        QSignalSpy reconnected(connector.get(), &CTIConnector::reconnectSuccess);
        checkReconnect();
        QVERIFY(reconnected.wait(5000));
        QCOMPARE(server.received(QStringLiteral("login")).last().value(QLatin1String("data")).toObject()
                     .value(QLatin1String("user")).toString(),
                 QStringLiteral("bert"));
        QVERIFY(!stored().isChanged());
        QCOMPARE(stored().getMessage(), QStringLiteral("Logged in"));
    }

    void shouldSwitchTheClientsLogFileWithTheLoggingSwitch()
    {
        const auto toggleLogging = [](ConfigurationDialog &dialog) {
            QTest::mouseClick(dialog.findChild<QRadioButton *>(QStringLiteral("logger")), Qt::LeftButton);
        };
        MessageCapture quiet;
        saveInDialog(toggleLogging);
        QVERIFY(stored().getLogger());
        QVERIFY(!stored().isChanged());
        checkReconnect(); // reads the settings; no new login
        connector->requestLineStatus();
        QTRY_VERIFY(logFile().contains("\"name\": \"requestLineStatus\""));
        QVERIFY(!logFile().contains("\"pass\": \"demo\""));

        saveInDialog(toggleLogging);
        checkReconnect();
        const QByteArray before = logFile();
        connector->requestPhoneConfig();
        QTRY_VERIFY(quiet.contains(QStringLiteral("requestPhoneConfig")));
        QCOMPARE(logFile(), before);
        QCOMPARE(server.received(QStringLiteral("login")).size(), 1);
    }
};

QTEST_MAIN(tst_Handover)
#include "tst_handover.moc"
