#include "connectorfixture.h"
#include "logger.h"
#include "messagecapture.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QThreadPool>
#include <QtTest>

namespace {

const QString loggedIn = QStringLiteral("Logged in");

// Sockets this process holds open; the demo server's listening socket and its side of each
// connection included.
int openSockets()
{
    int sockets = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System))
        sockets += fd.symLinkTarget().contains(QLatin1String("socket:")) ? 1 : 0;
    return sockets;
}

} // namespace

class tst_CTIFaults : public QObject
{
    Q_OBJECT

private:
    TestEnvironment logFolder; // where the log file lies for the whole run

    // The client's own sockets, once deferred deletions have run.
    static int clientSockets(const ConnectorFixture &fixture)
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return openSockets() - 1 - fixture.server.clientCount();
    }

    static bool recoverLogin(ConnectorFixture &fixture)
    {
        fixture.server.setAnswering(true);
        fixture.states.clear();
        fixture.checkReconnect();
        return fixture.waitForStatus(loggedIn);
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(Logger::logFilePath(), logFolder.programData() + QStringLiteral("/BrenvaleTAPIDriver.log"));
        if (!QFileInfo::exists(QStringLiteral("/proc/self/fd")))
            QSKIP("counting sockets needs /proc");
    }

    void shouldRecoverFromAConnectionClosedDuringTheHandshake_data()
    {
        QTest::addColumn<QString>("dropAfter");
        QTest::addColumn<QString>("lastStatus");
        QTest::newRow("before the version answer") << "requestProtocolVersion" << "Disconnected from server";
        QTest::newRow("before the login answer") << "login" << "Disconnected from server";
        QTest::newRow("after the login answer") << "" << "Couldn't reconnect to server";
    }

    void shouldRecoverFromAConnectionClosedDuringTheHandshake()
    {
        QFETCH(QString, dropAfter);
        QFETCH(QString, lastStatus);
        ConnectorFixture fixture;
        MessageCapture quiet;
        if (dropAfter.isEmpty()) {
            QVERIFY(fixture.login());
            fixture.server.dropConnections();
        } else {
            fixture.server.setReply(dropAfter, QJsonObject()); // remembered, but never sent:
            connect(&fixture.server, &DemoServer::commandReceived, &fixture.server, [&](const QJsonObject &frame) {
                if (frame.value(QLatin1String("name")).toString() == dropAfter) {
                    fixture.server.setAnswering(false);
                    fixture.server.dropConnections();
                }
            });
            fixture.connector->login();
        }
        QVERIFY(fixture.waitForStatus(lastStatus));
        QVERIFY(!fixture.statuses().contains(loggedIn) || dropAfter.isEmpty());
        fixture.server.clearReplies();
        QObject::disconnect(&fixture.server, &DemoServer::commandReceived, nullptr, nullptr);
        QVERIFY(recoverLogin(fixture));
        QTRY_COMPARE(fixture.server.clientCount(), 1);
        QCOMPARE(clientSockets(fixture), 1);
    }

    void shouldSurviveFramesItCannotUse_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("binary");
        QTest::newRow("garbage") << QByteArray("\x01\xff{{{ not json", 14) << false;
        QTest::newRow("command from the server") << QByteArray(R"({"type":"command","name":"login","data":{"status":200}})") << false;
        QTest::newRow("capitalised name") << QByteArray(R"({"type":"response","name":"Login","data":{"status":200}})") << false;
        QTest::newRow("unhandled name") << QByteArray(R"({"type":"response","name":"hangup","data":{"status":200}})") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("array") << QByteArray(R"([{"type":"response","name":"login","data":{"status":200}}])") << false;
        QTest::newRow("binary") << QByteArray(R"({"type":"response","name":"login","data":{"status":200}})") << true;
        QTest::newRow("empty binary") << QByteArray() << true;
        QTest::newRow("several megabytes of garbage") << QByteArray(6 << 20, 'x') << false;
        QTest::newRow("several megabytes of JSON")
            << QByteArray("{\"type\":\"response\",\"name\":\"getContactTypes\",\"data\":{\"ContactTypes\":[\""
                          + QByteArray(6 << 20, 'y') + "\"]}}")
            << false;
        QTest::newRow("wrong types everywhere")
            << QByteArray(R"({"type":"response","name":"requestPhoneConfig","data":{"phones":[1,2],"queues":"q",)"
                          R"("callForwardPresets":7,"ctiAnswerSupported":"yes","dialprefix":{"a":1}}})")
            << false;
        QTest::newRow("nested depth") << QByteArray(4000, '[') << false;
    }

    void shouldSurviveFramesItCannotUse()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, binary);
        ConnectorFixture fixture;
        MessageCapture quiet;
        fixture.server.setAnswering(false);
        fixture.connector->login();
        QVERIFY(fixture.waitForStatus(QStringLiteral("Connected to server")));
        QTRY_COMPARE(fixture.server.received().size(), 1);
        if (binary)
            fixture.server.sendBinary(frame);
        else
            fixture.server.sendText(QString::fromUtf8(frame));
        QSignalSpy types(fixture.connector, &CTIConnector::contactTypesAvailable);
        fixture.server.sendResponse(QStringLiteral("getContactTypes"), {}); // behind the frame
        QVERIFY(types.wait(10000));
        QVERIFY(!fixture.statuses().contains(loggedIn));
        QVERIFY(recoverLogin(fixture));
        QCOMPARE(clientSockets(fixture), 1);
    }

    void shouldRetryAServerThatNeverAnswers()
    {
        ConnectorFixture fixture;
        fixture.server.setAnswering(false);
        fixture.connector->login();
        QVERIFY(fixture.waitForStatus(QStringLiteral("Connected to server")));
        QTest::qWait(100);
        QCOMPARE(fixture.statuses().last(), QStringLiteral("Connected to server"));
        fixture.checkReconnect(); // still not logged in
        QTRY_COMPARE(fixture.server.received(QStringLiteral("requestProtocolVersion")).size(), 2);
        QVERIFY(recoverLogin(fixture));
    }

    void shouldKeepOneSocketOverFiftyServerRestarts()
    {
        ConnectorFixture fixture;
        MessageCapture quiet;
        QVERIFY(fixture.login());
        const quint16 port = fixture.server.port();
        for (int restart = 0; restart < 50; ++restart) {
            fixture.server.close();
            QTest::qWait(restart % 7); // the next check comes at any moment of the handshake
            QVERIFY(fixture.server.listen(port));
            fixture.checkReconnect();
            QTest::qWait(restart % 5);
        }
        fixture.checkReconnect(); // logs in unless the last restart left it logged in already
        QTRY_COMPARE(fixture.statuses().last(), loggedIn);
        QTRY_COMPARE(fixture.server.clientCount(), 1);
        QCOMPARE(clientSockets(fixture), 1);
    }

    void shouldNeverLogThePassword()
    {
        ConnectorFixture fixture;
        const QString password = QStringLiteral("Zq7-Geheimnis-4711");
        const QByteArray encoded = password.toUtf8().toBase64();
        fixture.storeSettings(QStringLiteral("anna"), password);
        fixture.server.setCredentials(QStringLiteral("anna"), password);
        ConfigurationData settings;
        settings.loadData();
        settings.setLogger(true);
        QVERIFY(settings.synchronize());

        MessageCapture capture;
        QVERIFY(fixture.login());
        CTIConnector *c = fixture.connector;
        c->requestTapiUsers();
        c->requestJabberBuddies();
        c->requestLineStatus();
        c->requestUCItems();
        c->requestAddressBooks();
        c->requestAddresses(QStringLiteral("1"));
        c->requestPhoneConfig();
        c->requestContactTypes();
        c->requestAddressPicture(QStringLiteral("10001"));
        c->setActiveForwardPreset(QStringLiteral("mobile"));
        c->dialNumber(QStringLiteral("0815"), QString());
        c->answer(QStringLiteral("call-4711"));
        c->hold(QStringLiteral("call-4711"));
        c->holdRetrieve(QStringLiteral("call-4711"));
        c->transfer(QStringLiteral("call-4711"), QStringLiteral("200"));
        c->record(QStringLiteral("call-4711"));
        c->hangup(QStringLiteral("call-4711"), QString());
        c->loginPhone(QStringLiteral("p1"));
        c->logoutPhone(QStringLiteral("p1"));
        c->loginQueue(QStringLiteral("q1"));
        c->logoutQueue(QStringLiteral("q1"));
        c->requestModels(QStringLiteral("User"), {{QStringLiteral("name"), QStringLiteral("x")}}, QString(), 10, 0);
        Addresses address;
        address.setAttributes({{QStringLiteral("lastname"), QStringLiteral("Moos")}});
        c->saveAddress(&address);
        c->saveAddressPicture(QStringLiteral("10002"), QImage(8, 8, QImage::Format_RGB32));
        c->deleteAddress(QStringLiteral("10003"));
        for (const QString &event : DemoServer::eventNames())
            fixture.server.pushEvent(event);
        c->sendPing();
        fixture.checkReconnect();
        c->reconnect();
        QVERIFY(fixture.waitForStatus(loggedIn));
        QTRY_VERIFY(fixture.server.received(QStringLiteral("deleteAddress")).size() == 1);
        QThreadPool::globalInstance()->waitForDone();
        QTest::qWait(50);

        QFile logFile(Logger::logFilePath());
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        const QByteArray written = logFile.readAll();
        const QByteArray shown = capture.messages().join(QLatin1Char('\n')).toUtf8();
        QVERIFY(written.contains("\"name\": \"deleteAddress\""));
        for (const QByteArray &secret : {password.toUtf8(), encoded}) {
            QVERIFY2(!shown.contains(secret), secret.constData());
            QVERIFY2(!written.contains(secret), secret.constData());
        }
        Logger::instance().setFileLogging(false);
    }
};

QTEST_MAIN(tst_CTIFaults)
#include "tst_ctifaults.moc"
