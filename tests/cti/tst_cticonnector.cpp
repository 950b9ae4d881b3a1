#include "connectorfixture.h"
#include "demoserverprocess.h"
#include "demoserverprogram.h"
#include "messagecapture.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <thread>

namespace {

const QString trying = "Trying to connect to server ...";
const QString connected = "Connected to server";
const QString loggedIn = "Logged in";
const QString disconnected = "Disconnected from server";
const QString refused = "Authentication failed";
const QString tooOld = "Server protocol version is older than 2.0 ";
const QString unreachable = "Error connecting to server";
const QString lost = "Couldn't reconnect to server";
const QString secret = "pässwort";

QJsonObject loginData(const QString &user, const QString &password)
{
    return {{"user", user}, {"pass", password}, {"client", "tapi"}, {"crypt", "no"}};
}

} // namespace

class tst_CTIConnector : public QObject
{
    Q_OBJECT

    // The reconnect check's interval where a test lets the client's own timer run.
    static constexpr int tick = 200;

private slots:
    void shouldReportEachHandshakeOutcome_data()
    {
        QTest::addColumn<QJsonValue>("version");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("refusing");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("logged"); // the version as the log shows it
        const QStringList good{trying, connected, loggedIn};
        const QStringList old{trying, connected, tooOld};
        QTest::newRow("version 2") << QJsonValue(2) << secret << false << good << "2";
        QTest::newRow("version 2.1") << QJsonValue(2.1) << secret << false << good << "2.1";
        QTest::newRow("version string 2.5") << QJsonValue("2.5") << secret << false << good << "2.5";
        QTest::newRow("version 1.99") << QJsonValue(1.99) << secret << false << old << "1.99";
        QTest::newRow("version -1") << QJsonValue(-1) << secret << false << old << "-1";
        QTest::newRow("version missing") << QJsonValue(QJsonValue::Undefined) << secret << false << old << "0";
        QTest::newRow("version not numeric") << QJsonValue("two") << secret << false << old << "0";
        QTest::newRow("refused") << QJsonValue(2) << "wrong" << false << QStringList{trying, connected, refused} << "2";
        // The socket reports the failed attempt as a disconnection too.
        QTest::newRow("unreachable") << QJsonValue(2) << secret << true << QStringList{trying, disconnected, unreachable} << "";
    }

    void shouldReportEachHandshakeOutcome()
    {
        QFETCH(QJsonValue, version);
        QFETCH(QString, password);
        QFETCH(bool, refusing);
        QFETCH(QStringList, expected);
        QFETCH(QString, logged);
        ConnectorFixture fixture;
        QSignalSpy success(fixture.connector, &CTIConnector::loginSuccessSignal);
        QSignalSpy failed(fixture.connector, &CTIConnector::loginFailedSignal);
        QSignalSpy reconnected(fixture.connector, &CTIConnector::reconnectSuccess);
        fixture.server.setCredentials("anna", secret);
        fixture.server.setProtocolVersion(version);
        QVERIFY(fixture.server.setRefusing(refusing));
        fixture.storeSettings("anna", password);
        MessageCapture capture;
        fixture.connector->login();
        QVERIFY(fixture.waitForStatus(expected.last()));
        QCOMPARE(fixture.statuses(), expected);
        QCOMPARE(fixture.environment->storedValue("message"), expected.last().trimmed()); // INI drops the blank
        // A server's refusal fails the login; a server out of reach does not.
        QCOMPARE(failed.count(), int(expected.contains(refused) || expected.contains(tooOld)));
        QVERIFY(capture.contains(QString("login to: ws://127.0.0.1:%1/cti\"").arg(fixture.server.port())));
        QCOMPARE(capture.contains("]:: protocol version: " + logged + '"'), !logged.isEmpty());
        // Only an accepted version leads to the credentials: exact on the wire, masked in the log.
        const bool answered = expected.contains(loggedIn) || expected.contains(refused);
        QCOMPARE(fixture.sent("login"), answered ? QList<QJsonObject>{loginData("anna", password)} : QList<QJsonObject>());
        QCOMPARE(capture.contains(R"(\"pass\": \"****\",\n        \"user\": \"****\")"), answered);

        // The next check retries any failure with the settings stored by then. Once logged in,
        // only the changed flag makes it log in again (once), announced as a reconnect.
        const bool accepted = expected.contains(loggedIn);
        fixture.server.setProtocolVersion(2);
        QVERIFY(fixture.server.setRefusing(false));
        fixture.storeSettings("anna", secret, -1, accepted);
        fixture.states.clear();
        fixture.checkReconnect();
        QVERIFY(fixture.waitForStatus(loggedIn));
        fixture.checkReconnect();
        QCOMPARE(fixture.statuses(), (QStringList{disconnected, trying, connected, loggedIn}));
        QCOMPARE(fixture.environment->storedValue("changed"), "false");
        QCOMPARE(fixture.sent("login").last(), loginData("anna", secret));
        QCOMPARE(success.count(), 1);
        QCOMPARE(reconnected.count(), int(accepted));
    }

    void shouldReportALostConnectionOnlyWhenNoStopPreceded()
    {
        ConnectorFixture fixture;
        QSignalSpy failed(fixture.connector, &CTIConnector::loginFailedSignal);
        MessageCapture capture;
        QVERIFY(fixture.login());
        // A receiver that logs in again from inside the socket's own signals: here the
        // disconnection, below the error of a failed reconnect.
        const auto relogin = connect(fixture.connector, &CTIConnector::loginFailedSignal, fixture.connector, &CTIConnector::login);
        fixture.states.clear();
        fixture.server.dropConnections();
        QVERIFY(fixture.waitForStatus(loggedIn));
        QCOMPARE(fixture.statuses(), (QStringList{unreachable, disconnected, lost, disconnected, trying, connected, loggedIn}));
        QCOMPARE(failed.count(), 1);
        QVERIFY(capture.contains("SILENT RECONNECT START"));
        QTRY_COMPARE(fixture.server.clientCount(), 1);
        QCOMPARE(fixture.clientSockets(), 1);

        // That login closed the dropped socket: its stop swallows the next loss report, and only
        // that one, so a failed reconnect is reported again.
        fixture.states.clear();
        fixture.server.dropConnections();
        QVERIFY(fixture.waitForStatus(disconnected));
        QCOMPARE(fixture.statuses(), (QStringList{unreachable, disconnected}));
        QVERIFY(fixture.server.setRefusing(true));
        fixture.checkReconnect();
        QVERIFY(fixture.waitForStatus(lost));
        disconnect(relogin);
    }

    void shouldTakeEitherLoginAnswerAndLogInAgainFromInsideIt()
    {
        ConnectorFixture fixture;
        // A receiver logs in again while the socket still delivers the login answer.
        connect(fixture.connector, &CTIConnector::loginSuccessSignal, fixture.connector, &CTIConnector::login);
        fixture.server.setAnswering(false);
        fixture.connector->login();
        QVERIFY(fixture.waitForStatus(connected));
        fixture.server.setAnswering(true);
        fixture.server.sendResponse("tapimultiuserlogin", {{"status", "200"}});
        QTRY_COMPARE(fixture.statuses().count(loggedIn), 2);
        QCOMPARE(fixture.statuses(), (QStringList{trying, connected, loggedIn, disconnected, trying, connected, loggedIn}));
        QTRY_COMPARE(fixture.server.clientCount(), 1);
    }

    void shouldSendOnlyOverAnOpenSocketInQueueOrderMaskedAndCloseItAsGoingAway()
    {
        ConnectorFixture fixture;
        MessageCapture capture;
        fixture.connector->stop(); // without a socket: silent
        fixture.connector->requestLogin(); // before any login: dropped
        QVERIFY(fixture.login());
        std::thread worker([&] {
            for (int i = 0; i < 5; ++i) {
                CTIMessage message(QStringLiteral("queued"));
                message.setValue("n", i);
                message.setValue("user", "anna");
                fixture.connector->enqueue(message);
            }
        });
        worker.join();
        fixture.connector->sendPing();
        QTRY_VERIFY(capture.contains("onPong"));
        QTRY_COMPARE(fixture.sent("queued").size(), 5);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(fixture.sent("queued").at(i).value("n").toInt(), i);
        // Sent messages left the queue: running it again sends nothing.
        const int queuedLines = capture.matching("queued").size();
        QVERIFY(QMetaObject::invokeMethod(fixture.connector, "checkSendQueue"));
        QCOMPARE(capture.matching("queued").size(), queuedLines);

        // Closed as a socket destroyed at once would close: going away, with its reason.
        fixture.connector->stop();
        fixture.connector->stop();
        fixture.connector->requestLogin();
        QCOMPARE(capture.matching("websocket not open").size(), 2);
        QCOMPARE(fixture.statuses(), (QStringList{trying, connected, loggedIn, disconnected}));
        QTRY_COMPARE(fixture.server.clientCount(), 0);
        QCOMPARE(fixture.server.lastCloseCode(), int(QWebSocketProtocol::CloseCodeGoingAway));
        QCOMPARE(fixture.server.lastCloseReason(), "Connection closed");

        // A token masks the user as a password does; a user alone (the queued ones) stays readable.
        QVERIFY(capture.contains(R"(\"user\": \"anna\")"));
        CTIMessage token(QStringLiteral("tapimultiuserlogin"));
        token.setValue("user", "anna");
        token.setValue("token", "T0K3N");
        fixture.connector->printFiltered(token);
        QCOMPARE(token.data(), (QVariantMap{{"user", "****"}, {"token", "****"}}));

        // A server text that makes no URL fails inside the socket's open(): the failure, not the
        // attempt, must be the last status, in the dialog and in the settings file.
        fixture.states.clear();
        fixture.environment->writeSettingsFile("[UserData]\r\nserver=pbx example\r\n");
        fixture.connector->login();
        QVERIFY(fixture.waitForStatus(unreachable));
        QCOMPARE(fixture.statuses(), (QStringList{trying, unreachable}));
        QCOMPARE(fixture.environment->storedValue("message"), unreachable);

        // Without a port in the settings the client takes the default one.
        fixture.environment->writeSettingsFile("[UserData]\r\nserver=localhost\r\nport=\r\n");
        fixture.connector->login();
        fixture.connector->stop();
        QVERIFY(capture.contains("login to: ws://localhost:28888/cti\""));
    }

    // Pongs that come late, but always within two checks, never cost the connection. A server
    // whose process stops keeps its connections open and answers nothing: the watchdog gives up
    // after two checks without a pong, or soon after a sleep, and the client logs in again once
    // the server goes on.
    void shouldKeepASlowServerAndNoticeAStoppedOneUntilItGoesOn()
    {
        ConnectorFixture fixture;
        // A server in a process of its own, which the test stops and lets go on.
        DemoServerProcess server(demoServerProgram());
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        fixture.storeSettings("demo", "demo", server.port());
        MessageCapture capture;
        // Every ten seconds the client checks by itself, and logs in at its first check; here the
        // checks come sooner.
        QCOMPARE(fixture.connector->findChild<QTimer *>("reconnectTimer")->interval(), 10000);
        fixture.connector->setReconnectCheckInterval(tick);
        QVERIFY(fixture.waitForStatus(loggedIn, 10000));
        fixture.states.clear();
        for (int round = 0; round < 5; ++round) {
            QVERIFY(server.suspend()); // a ping sent now waits up to a whole check for its pong
            QTest::qWait(tick);
            QVERIFY(server.resume());
            QTest::qWait(tick / 4);
        }
        QCOMPARE(fixture.statuses(), QStringList());
        QVERIFY(capture.matching("onPong").size() >= 5);

        QVERIFY(server.suspend());
        QElapsedTimer stopped;
        stopped.start();
        QVERIFY(fixture.waitForStatus(disconnected, 10 * tick));
        // Two checks without a pong after the one that sent the first unanswered ping.
        QVERIFY2(stopped.elapsed() < 3 * tick + 500, qPrintable(QString::number(stopped.elapsed())));
        QVERIFY(!capture.messages().filter(QRegularExpression("\\]:: no answer to ping for [0-9]+ s\"$")).isEmpty());

        QVERIFY(server.resume());
        QVERIFY(fixture.waitForStatus(loggedIn, 10000));
        // A connection that a check replaced before its login was answered goes through the
        // closing handshake, which may take the client's whole close timeout of 5 s.
        QTRY_COMPARE_WITH_TIMEOUT(fixture.clientSockets(server.port()), 1, 8000);

        // After a sleep the first check comes late: it pings at once and waits only a few seconds
        // for the answer, instead of two more checks. The clock and the checks are the test's.
        fixture.connector->findChild<QTimer *>("reconnectTimer")->stop();
        qint64 now = 0;
        fixture.connector->setClock([&now] { return now; });
        fixture.connector->setResumePongTimeout(300);
        auto *resumeWatch = fixture.connector->findChild<QTimer *>("resumeWatch");
        capture.clear();
        now += tick; // a check on time: a ping, answered
        fixture.checkReconnect();
        QVERIFY(!resumeWatch->isActive());
        QTRY_VERIFY(capture.contains("onPong"));

        QVERIFY(server.suspend());
        now += tick; // on time again: its ping gets no answer, and only two more checks would end it
        fixture.checkReconnect();
        QVERIFY(!resumeWatch->isActive());

        now += 10 * 60 * 1000; // ten minutes asleep
        fixture.states.clear();
        fixture.checkReconnect();
        QVERIFY(resumeWatch->isActive());
        QVERIFY(fixture.waitForStatus(disconnected, 2000));
        QVERIFY(capture.contains("]:: no answer to ping for 600 s\""));
    }

    // On a slow link the server's pong waits behind what the server sent before it: a frame that
    // takes many checks to arrive must not cost the connection, since every byte shows it lives.
    void shouldKeepAConnectionThatIsBusyReceiving()
    {
        ConnectorFixture fixture;
        // A relay to the server, a slow link: what the client sends passes at once, what the server
        // sends reaches the client at 100 kB/s, in order, so that a pong waits behind it.
        QTcpServer link;
        QTcpSocket toServer;
        QTcpSocket *client = nullptr; // the link's child
        QByteArray toClient;          // received from the server, not yet passed on
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, this, [&] { client->write(toClient.left(1000)); toClient.remove(0, 1000); });
        connect(&link, &QTcpServer::newConnection, this, [&] {
            client = link.nextPendingConnection();
            // Written before the server side is connected, the bytes wait in the socket's buffer.
            connect(client, &QTcpSocket::readyRead, this, [&] { toServer.write(client->readAll()); });
            toServer.connectToHost(QHostAddress::LocalHost, fixture.server.port());
            ticks.start(10);
        });
        connect(&toServer, &QTcpSocket::readyRead, this, [&] { toClient += toServer.readAll(); });
        QVERIFY(link.listen(QHostAddress::LocalHost));
        fixture.storeSettings("demo", "demo", link.serverPort());
        QVERIFY(fixture.login());
        fixture.connector->setReconnectCheckInterval(tick);
        fixture.states.clear();
        QSignalSpy types(fixture.connector, &CTIConnector::contactTypesAvailable);
        QStringList many;
        for (int type = 0; type < 5000; ++type)
            many.append(QString("contact type %1 of a long list").arg(type, 5, 10, QLatin1Char('0')));

        QElapsedTimer transfer;
        transfer.start();
        fixture.server.sendEvent("contactTypesChanged", {{"ContactTypes", QJsonArray::fromStringList(many)}});
        QVERIFY(types.wait(20000));
        QVERIFY2(transfer.elapsed() > 4 * tick, qPrintable(QString::number(transfer.elapsed())));
        QCOMPARE(types.first().first().toStringList(), many);
        QCOMPARE(fixture.statuses(), QStringList());
        QCOMPARE(fixture.clientSockets(link.serverPort()), 1);
    }
};

QTEST_MAIN(tst_CTIConnector)
#include "tst_cticonnector.moc"
