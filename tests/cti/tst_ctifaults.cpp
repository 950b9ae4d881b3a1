#include "connectorfixture.h"
#include "logger.h"
#include "messagecapture.h"

#include <QtTest>

class tst_CTIFaults : public QObject
{
    Q_OBJECT

    TestEnvironment logFolder; // where the log file lies for the whole run

    // The server answers again: the next check ends logged in, over the only connection left.
    static void recover(ConnectorFixture &fixture)
    {
        fixture.server.setAnswering(true);
        fixture.checkReconnect();
        QTRY_COMPARE(fixture.statuses().last(), "Logged in");
        QTRY_COMPARE(fixture.server.clientCount(), 1);
        QCOMPARE(fixture.clientSockets(), 1);
    }

private slots:
    // With the log file on, as configuration-tool switches it, no line in the file or in Qt's
    // output carries the password, which the login sends. A book of many pages comes whole, each
    // address once, each page asked for behind the one before, and leaves the login before it in
    // the file, which rolls over at a size that one page alone would pass if it were logged whole.
    void shouldLogABigBookBoundedAndNeverThePassword()
    {
        // First: outside Windows the log writer takes its folder from the environment at first use,
        // this run's folder. On Windows the log has its fixed place, shared with other suites.
#ifdef Q_OS_WIN
        QCOMPARE(Logger::logFilePath(), "C:\\BrenvaleTAPIDriver.log");
#else
        QCOMPARE(Logger::logFilePath(), logFolder.programData() + "/BrenvaleTAPIDriver.log");
#endif
        QFile::remove(Logger::logFilePath());
        QFile::remove(Logger::logFilePath() + ".1");
        Logger::instance().setMaxFileSize(512 * 1024);
        // The process's own connector: the thread pool hands its records to that one.
        ConnectorFixture fixture(CTIConnector::instance());
        const QString password = "Zq7-Geheimnis-4711";
        fixture.storeSettings("anna", password);
        fixture.server.setCredentials("anna", password);
        ConfigurationData settings;
        settings.loadData();
        settings.setLogger(true);
        QVERIFY(settings.synchronize());
        MessageCapture capture;
        QVERIFY(fixture.login());
        fixture.server.setBookSize("big", 25000);
        QStringList ids;
        connect(fixture.connector, &CTIConnector::addressAdded, this, [&](Addresses *address) {
            ids.append(address->id());
            delete address;
        });
        fixture.connector->requestAddresses("big");
        QTRY_COMPARE_WITH_TIMEOUT(ids.size(), 25000, 20000);
        QCOMPARE(QSet<QString>(ids.cbegin(), ids.cend()).size(), 25000);
        const auto big = [](int offset) { return QJsonObject{{"bookid", "big"}, {"limit", 10000}, {"offset", offset}}; };
        QCOMPARE(fixture.sent("getAddresses"), (QList<QJsonObject>{big(0), big(10001), big(20001)}));

        fixture.connector->stop();
        Logger::instance().setFileLogging(false);
        Logger::instance().setMaxFileSize(Logger::defaultMaxFileSize);

        QFile logFile(Logger::logFilePath());
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        const QByteArray written = logFile.readAll();
        // The first login before a page's line: its start, then what it left out of its addresses.
        const int login = written.indexOf("status: Logged in");
        QVERIFY(login >= 0 && login < written.indexOf("]:: {\n    \"data\": {\n        \"addresses\": {\n"));
        QVERIFY(written.contains(" more values]"));
        QVERIFY(!QFile::exists(Logger::logFilePath() + ".1"));
        for (const QByteArray &secret : {password.toUtf8(), password.toUtf8().toBase64()})
            QVERIFY2(!written.contains(secret) && !capture.messages().join('\n').toUtf8().contains(secret), secret.constData());
    }

    // Faults during the handshake, after which the next check must log in: the connection closed
    // when a command arrives, before its answer (after the login answer: tst_cticonnector's lost
    // connection), or a frame the client cannot use, sent by a server that never answers, which
    // must leave the client waiting for the version.
    void shouldRecoverFromFaultsDuringTheHandshake_data()
    {
        QTest::addColumn<QString>("dropAt");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("binary");
        QTest::newRow("dropped before the version answer") << "requestProtocolVersion" << QByteArray() << false;
        QTest::newRow("dropped before the login answer") << "login" << QByteArray() << false;
        QTest::newRow("command from the server") << "" << QByteArray(R"({"type":"command","name":"login","data":{"status":200}})") << false;
        QTest::newRow("capitalised name") << "" << QByteArray(R"({"type":"response","name":"Login","data":{"status":200}})") << false;
        QTest::newRow("unhandled name") << "" << QByteArray(R"({"type":"response","name":"hangup","data":{"status":200}})") << false;
        QTest::newRow("binary") << "" << QByteArray(R"({"type":"response","name":"login","data":{"status":200}})") << true;
        QTest::newRow("empty binary") << "" << QByteArray() << true;
        QTest::newRow("several megabytes of garbage") << "" << QByteArray(6 << 20, 'x') << false;
        QTest::newRow("several megabytes of JSON") << "" << QByteArray("{\"type\":\"response\",\"name\":\"getContactTypes\",\"data\":{\"ContactTypes\":[\"")
                                                          + QByteArray(6 << 20, 'y') + "\"]}}" << false;
        QTest::newRow("wrong types everywhere") << "" << QByteArray(R"({"type":"response","name":"requestPhoneConfig","data":{"phones":[1,2],)"
                                                              R"("queues":"q","callForwardPresets":7,"ctiAnswerSupported":"yes","dialprefix":{"a":1}}})") << false;
        QTest::newRow("nested depth") << "" << QByteArray(4000, '[') << false;
    }

    void shouldRecoverFromFaultsDuringTheHandshake()
    {
        QFETCH(QString, dropAt);
        QFETCH(QByteArray, frame);
        QFETCH(bool, binary);
        ConnectorFixture fixture;
        MessageCapture quiet;
        // A command arrives before it is answered; the client dropped then gets no answer.
        const auto dropping = connect(&fixture.server, &DemoServer::commandReceived, this, [&](const QJsonObject &command) {
            if (command.value("name").toString() == dropAt)
                fixture.server.dropConnections();
        });
        fixture.server.setAnswering(!dropAt.isEmpty());
        fixture.connector->login();
        if (dropAt.isEmpty()) {
            QVERIFY(fixture.waitForStatus("Connected to server"));
            binary ? fixture.server.sendBinary(frame) : fixture.server.sendText(QString::fromUtf8(frame));
            QSignalSpy types(fixture.connector, &CTIConnector::contactTypesAvailable);
            fixture.server.sendResponse("getContactTypes", {}); // behind the frame
            QVERIFY(types.wait(10000));
            QCOMPARE(fixture.statuses().last(), "Connected to server");
        } else {
            QVERIFY(fixture.waitForStatus("Disconnected from server"));
        }
        disconnect(dropping);
        recover(fixture);
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
        recover(fixture); // logs in unless the last restart left it logged in already
    }

    // A log line cut in the last value of its message, or in the closing brackets, says how many
    // bytes it left out; one that leaves out values counts them.
    void shouldSayWhatALogLineLeftOut_data()
    {
        QTest::addColumn<int>("beyond");
        QTest::addColumn<QString>("marker");
        // The envelope's members in order: data, name, type, uuid; the data's text sets the length.
        QTest::newRow("closing brackets") << 2 << " ... [2 more bytes]";
        QTest::newRow("the last value") << 12 << " ... [12 more bytes]";
        QTest::newRow("values") << 1000 << " ... [3 more values]";
    }

    void shouldSayWhatALogLineLeftOut()
    {
        QFETCH(int, beyond);
        QFETCH(QString, marker);
        ConnectorFixture fixture;
        const int bound = Logger::maxMessageBytes - Logger::maxMarkerLength;
        CTIMessage message(QStringLiteral("huge"));
        message.setValue("text", QString());
        const int length = bound + beyond - message.toJson().size();
        message.setValue("text", QString(length, 'x'));
        QCOMPARE(message.toJson().size(), bound + beyond);
        MessageCapture capture;
        fixture.connector->printFiltered(message);
        const QString line = capture.matching("[void CTIConnector::printFiltered(CTIMessage&)]:: ").value(0);
        QVERIFY2(line.endsWith(marker + '"'), qPrintable(line.right(60)));
    }

};

QTEST_MAIN(tst_CTIFaults)
#include "tst_ctifaults.moc"
