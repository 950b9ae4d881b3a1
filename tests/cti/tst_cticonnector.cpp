#include "connectorfixture.h"
#include "configurationdata.h"
#include "messagecapture.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTimer>
#include <QtTest>

#include <thread>

namespace {

const QString trying = QStringLiteral("Trying to connect to server ...");
const QString connected = QStringLiteral("Connected to server");
const QString loggedIn = QStringLiteral("Logged in");
const QString disconnected = QStringLiteral("Disconnected from server");
const QString refused = QStringLiteral("Authentication failed");
const QString tooOld = QStringLiteral("Server protocol version is older than 2.0 ");
const QString unreachable = QStringLiteral("Error connecting to server");
const QString lost = QStringLiteral("Couldn't reconnect to server");

QString storedMessage()
{
    ConfigurationData settings;
    settings.loadData();
    return settings.getMessage();
}

bool storedChanged()
{
    ConfigurationData settings;
    settings.loadData();
    return settings.isChanged();
}

} // namespace

class tst_CTIConnector : public QObject
{
    Q_OBJECT

private slots:
    void shouldLogInThroughVersionCheckAndCredentials()
    {
        ConnectorFixture fixture;
        QSignalSpy success(fixture.connector, &CTIConnector::loginSuccessSignal);
        fixture.storeSettings(QStringLiteral("anna"), QStringLiteral("pässwort"));
        fixture.server.setCredentials(QStringLiteral("anna"), QStringLiteral("pässwort"));
        MessageCapture capture;
        QVERIFY(fixture.login());
        // The log masks the credentials; the wire carries them (below).
        const QString log = capture.messages().join(QLatin1Char('\n'));
        QVERIFY(log.contains(QStringLiteral("\\\"pass\\\": \\\"****\\\"")));
        QVERIFY(log.contains(QStringLiteral("\\\"user\\\": \\\"****\\\"")));
        QVERIFY(!log.contains(QStringLiteral("anna")));

        QCOMPARE(fixture.statuses(), (QStringList{trying, connected, loggedIn}));
        QCOMPARE(success.count(), 1);
        QCOMPARE(storedMessage(), loggedIn);
        QStringList names;
        for (const QJsonObject &frame : fixture.server.received())
            names.append(frame.value(QLatin1String("name")).toString());
        QCOMPARE(names, (QStringList{QStringLiteral("requestProtocolVersion"), QStringLiteral("login")}));
        QCOMPARE(fixture.sent(QStringLiteral("login")).first(),
                 (QJsonObject{{QStringLiteral("user"), QStringLiteral("anna")},
                              {QStringLiteral("pass"), QStringLiteral("pässwort")},
                              {QStringLiteral("client"), QStringLiteral("tapi")},
                              {QStringLiteral("crypt"), QStringLiteral("no")}}));
    }

    void shouldAnnounceLaterLoginsAsReconnects()
    {
        ConnectorFixture fixture;
        QSignalSpy success(fixture.connector, &CTIConnector::loginSuccessSignal);
        QSignalSpy reconnected(fixture.connector, &CTIConnector::reconnectSuccess);
        QVERIFY(fixture.login());
        fixture.states.clear();
        QVERIFY(fixture.login());
        QCOMPARE(fixture.statuses(), (QStringList{disconnected, trying, connected, loggedIn}));
        QCOMPARE(success.count(), 1);
        QCOMPARE(reconnected.count(), 1);
        QTRY_COMPARE(fixture.server.clientCount(), 1);
    }

    void shouldRetryARefusedLoginWithTheStoredCredentials()
    {
        ConnectorFixture fixture;
        QSignalSpy failed(fixture.connector, &CTIConnector::loginFailedSignal);
        fixture.storeSettings(QStringLiteral("demo"), QStringLiteral("wrong"));
        fixture.connector->login();
        QVERIFY(fixture.waitForStatus(refused));
        QCOMPARE(fixture.statuses(), (QStringList{trying, connected, refused}));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(storedMessage(), refused);

        fixture.storeSettings(QStringLiteral("demo"), QStringLiteral("demo"));
        fixture.checkReconnect();
        QVERIFY(fixture.waitForStatus(loggedIn));
        QCOMPARE(fixture.sent(QStringLiteral("login")).last().value(QLatin1String("pass")).toString(),
                 QStringLiteral("demo"));
    }

    void shouldCheckTheProtocolVersion_data()
    {
        QTest::addColumn<QJsonValue>("version");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("logged");
        QTest::newRow("2") << QJsonValue(2) << true << "protocol version: 2";
        QTest::newRow("2.1") << QJsonValue(2.1) << true << "protocol version: 2.1";
        QTest::newRow("string 2.5") << QJsonValue(QStringLiteral("2.5")) << true << "protocol version: 2.5";
        QTest::newRow("1.99") << QJsonValue(1.99) << false << "protocol version: 1.99";
        QTest::newRow("-1") << QJsonValue(-1) << false << "protocol version: -1";
        QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << false << "protocol version: 0";
        QTest::newRow("not numeric") << QJsonValue(QStringLiteral("two")) << false << "protocol version: 0";
    }

    void shouldCheckTheProtocolVersion()
    {
        QFETCH(QJsonValue, version);
        QFETCH(bool, accepted);
        QFETCH(QString, logged);
        ConnectorFixture fixture;
        QSignalSpy failed(fixture.connector, &CTIConnector::loginFailedSignal);
        fixture.server.setProtocolVersion(version);
        MessageCapture capture;
        fixture.connector->login();
        QVERIFY(fixture.waitForStatus(accepted ? loggedIn : tooOld));
        QVERIFY(capture.contains(QStringLiteral("]:: ") + logged + QLatin1Char('"')));
        QCOMPARE(fixture.sent(QStringLiteral("login")).size(), accepted ? 1 : 0);
        QCOMPARE(failed.count(), accepted ? 0 : 1);
    }

    void shouldReportAnUnreachableServerWithoutLoginFailure()
    {
        ConnectorFixture fixture;
        QSignalSpy failed(fixture.connector, &CTIConnector::loginFailedSignal);
        QVERIFY(fixture.server.setRefusing(true));
        MessageCapture capture;
        fixture.connector->login();
        QVERIFY(fixture.waitForStatus(unreachable));
        // The socket also reports the failed attempt as a disconnection.
        QCOMPARE(fixture.statuses().first(), trying);
        QCOMPARE(fixture.statuses().last(), unreachable);
        QVERIFY(capture.contains(QStringLiteral("login to: ws://127.0.0.1:%1/cti").arg(fixture.server.port())));
        QCOMPARE(failed.count(), 0);

        QVERIFY(fixture.server.setRefusing(false));
        fixture.checkReconnect();
        QVERIFY(fixture.waitForStatus(loggedIn));
    }

    void shouldUseTheDefaultPortInTheUrl()
    {
        ConnectorFixture fixture;
        fixture.environment->writeSettingsFile("[UserData]\r\nserver=localhost\r\nport=\r\n");
        MessageCapture capture;
        fixture.connector->login();
        fixture.connector->stop();
        QVERIFY(capture.contains(QStringLiteral("login to: ws://localhost:28888/cti\"")));
    }

    void shouldLogInOnceWhenTheSettingsChange()
    {
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        fixture.checkReconnect();
        QCOMPARE(fixture.sent(QStringLiteral("login")).size(), 1);

        ConfigurationData editor;
        editor.loadData();
        editor.setUserName(QStringLiteral("bert"));
        QVERIFY(editor.synchronize());
        fixture.server.setCredentials(QStringLiteral("bert"), QStringLiteral("demo"));
        fixture.states.clear();
        fixture.checkReconnect();
        QVERIFY(fixture.waitForStatus(loggedIn));
        QVERIFY(!storedChanged());
        fixture.checkReconnect();
        QCOMPARE(fixture.sent(QStringLiteral("login")).size(), 2);
        QCOMPARE(fixture.sent(QStringLiteral("login")).last().value(QLatin1String("user")).toString(),
                 QStringLiteral("bert"));
    }

    void shouldReportALostConnectionOnlyWhenNoStopPreceded()
    {
        ConnectorFixture fixture;
        QSignalSpy failed(fixture.connector, &CTIConnector::loginFailedSignal);
        MessageCapture capture;
        QVERIFY(fixture.login());
        fixture.states.clear();
        fixture.server.dropConnections();
        QVERIFY(fixture.waitForStatus(lost));
        QCOMPARE(fixture.statuses().mid(fixture.statuses().indexOf(disconnected)), (QStringList{disconnected, lost}));
        QCOMPARE(failed.count(), 1);
        QVERIFY(capture.contains(QStringLiteral("SILENT RECONNECT START")));

        // The next login closes the dropped socket: its stop swallows the next loss report.
        fixture.checkReconnect();
        QVERIFY(fixture.waitForStatus(loggedIn));
        fixture.states.clear();
        fixture.server.dropConnections();
        QVERIFY(fixture.waitForStatus(disconnected));
        QTest::qWait(50);
        QVERIFY(!fixture.statuses().contains(lost));
        QCOMPARE(failed.count(), 1);
    }

    void shouldSurviveALoginFromInsideTheSocketsOwnSignals()
    {
        // Receivers that log in again while the socket is still delivering its own signal:
        // first a text message (the login answer), then a disconnection.
        ConnectorFixture answered;
        bool again = true;
        QObject::connect(answered.connector, &CTIConnector::loginSuccessSignal, answered.connector, [&] {
            if (std::exchange(again, false))
                answered.connector->login();
        });
        QVERIFY(answered.login());
        QTRY_COMPARE(answered.statuses().count(loggedIn), 2);
        QTRY_COMPARE(answered.server.clientCount(), 1);

        ConnectorFixture dropped;
        QVERIFY(dropped.login());
        again = true;
        QObject::connect(dropped.connector, &CTIConnector::loginFailedSignal, dropped.connector, [&] {
            if (std::exchange(again, false))
                dropped.connector->login();
        });
        dropped.states.clear();
        dropped.server.dropConnections();
        QVERIFY(dropped.waitForStatus(loggedIn));
        QTRY_COMPARE(dropped.server.clientCount(), 1);
    }

    void shouldMaskTokensAndUsersOnlyBesideCredentials()
    {
        ConnectorFixture fixture;
        CTIMessage token(QStringLiteral("tapimultiuserlogin"));
        token.setValue(QStringLiteral("user"), QStringLiteral("anna"));
        token.setValue(QStringLiteral("token"), QStringLiteral("T0K3N"));
        fixture.connector->printFiltered(token);
        QCOMPARE(token.value(QStringLiteral("token")).toString(), QStringLiteral("****"));
        QCOMPARE(token.value(QStringLiteral("user")).toString(), QStringLiteral("****"));

        CTIMessage userOnly(QStringLiteral("other"));
        userOnly.setValue(QStringLiteral("user"), QStringLiteral("anna"));
        fixture.connector->printFiltered(userOnly);
        QCOMPARE(userOnly.value(QStringLiteral("user")).toString(), QStringLiteral("anna"));
    }

    void shouldDropMessagesAndStopQuietlyWithoutASocket()
    {
        ConnectorFixture fixture;
        MessageCapture capture;
        fixture.connector->stop(); // nothing to stop: no status, nothing stored
        QCOMPARE(fixture.states.count(), 0);
        QCOMPARE(capture.matching(QStringLiteral("onStop")).size(), 1);
        QVERIFY(storedMessage().isEmpty());
        CTIMessage early(QStringLiteral("early"));
        fixture.connector->sendMessage(early);
        fixture.connector->requestLogin();
        QCOMPARE(capture.matching(QStringLiteral("websocket not open")).size(), 2);

        QVERIFY(fixture.login());
        fixture.connector->stop();
        fixture.connector->stop();
        CTIMessage late(QStringLiteral("late"));
        fixture.connector->sendMessage(late);
        QCOMPARE(capture.matching(QStringLiteral("websocket not open")).size(), 3);
        QCOMPARE(fixture.statuses().count(disconnected), 1);
        QTRY_COMPARE(fixture.server.clientCount(), 0);
        QVERIFY(fixture.server.received(QStringLiteral("early")).isEmpty());
        QVERIFY(fixture.server.received(QStringLiteral("late")).isEmpty());
    }

    void shouldHandleBothLoginResponseNames()
    {
        ConnectorFixture fixture;
        fixture.server.setAnswering(false);
        fixture.connector->login();
        QVERIFY(fixture.waitForStatus(connected));
        QSignalSpy success(fixture.connector, &CTIConnector::loginSuccessSignal);
        fixture.server.sendResponse(QStringLiteral("tapimultiuserlogin"), {{QStringLiteral("status"), QStringLiteral("200")}});
        QVERIFY(fixture.waitForStatus(loggedIn));
        QCOMPARE(success.count(), 1);
    }

    void shouldSendEnqueuedMessagesInOrderFromItsOwnThread()
    {
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        std::thread worker([&] {
            for (int i = 0; i < 5; ++i) {
                CTIMessage message(QStringLiteral("queued"));
                message.setValue(QStringLiteral("n"), i);
                fixture.connector->enqueue(message);
            }
        });
        worker.join();
        QTRY_COMPARE(fixture.sent(QStringLiteral("queued")).size(), 5);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(fixture.sent(QStringLiteral("queued")).at(i).value(QLatin1String("n")).toInt(), i);
        // Sent messages left the queue: running it again sends nothing more.
        QVERIFY(QMetaObject::invokeMethod(fixture.connector, "checkSendQueue"));
        QTest::qWait(50);
        QCOMPARE(fixture.sent(QStringLiteral("queued")).size(), 5);
    }

    void shouldAnswerPingsWithPongs()
    {
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        MessageCapture capture;
        fixture.connector->sendPing();
        QTRY_VERIFY(capture.contains(QStringLiteral("onPong")));
        QVERIFY(capture.contains(QStringLiteral("SEND_PING")));
    }

    void shouldConnectByItselfEveryTenSeconds()
    {
        TestEnvironment environment;
        DemoServer server;
        QVERIFY(server.listen());
        ConfigurationData settings;
        settings.setServer(QStringLiteral("127.0.0.1"));
        settings.setPort(server.port());
        settings.setUserName(QStringLiteral("demo"));
        settings.setPassword(QStringLiteral("demo"));
        QVERIFY(settings.synchronize());

        QElapsedTimer clock;
        clock.start();
        CTIConnector connector;
        QTimer *timer = connector.findChild<QTimer *>();
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 10000);
        QSignalSpy states(&connector, &CTIConnector::clientState);
        QVERIFY(states.wait(11000));
        // A coarse timer may fire up to 5 % early.
        QVERIFY2(clock.elapsed() >= 9500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(states.first().first().toString(), trying);
        connector.stop();
    }
};

QTEST_MAIN(tst_CTIConnector)
#include "tst_cticonnector.moc"
