#include "demoserver.h"
#include "messagecapture.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>

#include <memory>

namespace {

const QStringList lineKeys{"owner_id", "callid", "firstname", "lastname", "company",
                           "remote_number", "pictureURL", "state", "direction", "duration",
                           "timestamp", "caller_addressbook_id"};

// A bare WebSocket client that keeps every frame it receives.
class TestClient
{
public:
    TestClient()
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString &text) {
            texts.append(text);
            frames.append(QJsonDocument::fromJson(text.toUtf8()).object());
        });
        QObject::connect(&socket, &QWebSocket::binaryMessageReceived,
                         [this](const QByteArray &frame) { binaries.append(frame); });
    }

    bool open(const QUrl &url)
    {
        QSignalSpy connected(&socket, &QWebSocket::connected);
        socket.open(url);
        return connected.wait(5000);
    }

    void send(const QString &name, const QJsonObject &data = QJsonObject(),
              const QString &uuid = QStringLiteral("7d1f3c52-0b6e-4a8e-9d2c-5f4e3a2b1c0d"))
    {
        const QJsonObject frame{
                {"type", "command"}, {"name", name}, {"uuid", uuid}, {"data", data}};
        socket.sendTextMessage(QString::fromUtf8(QJsonDocument(frame).toJson()));
    }

    // The next frame named name after the frames taken so far; empty after five seconds.
    QJsonObject next(const QString &name)
    {
        const QDeadlineTimer deadline(5000);
        for (;;) {
            for (int i = taken; i < frames.size(); ++i) {
                if (frames.at(i).value("name").toString() == name) {
                    taken = i + 1;
                    return frames.at(i);
                }
            }
            QSignalSpy arrived(&socket, &QWebSocket::textMessageReceived);
            if (deadline.hasExpired() || !arrived.wait(int(deadline.remainingTime())))
                return QJsonObject();
        }
    }

    QJsonObject request(const QString &name, const QJsonObject &data = QJsonObject())
    {
        send(name, data);
        return next(name).value("data").toObject();
    }

    QJsonObject page(const QString &bookId, int limit, int offset)
    {
        return request("getAddresses", {{"bookid", bookId}, {"limit", limit}, {"offset", offset}});
    }

    QWebSocket socket;
    QStringList texts;
    QList<QJsonObject> frames;
    QList<QByteArray> binaries;

private:
    int taken = 0;
};

QByteArray png(int size, Qt::GlobalColor colour)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

bool isPng(const QByteArray &bytes)
{
    return bytes.startsWith("\x89PNG\r\n\x1a\n") && !QImage::fromData(bytes, "PNG").isNull();
}

} // namespace

class tst_DemoServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void shouldAnnounceConfiguredProtocolVersion_data();
    void shouldAnnounceConfiguredProtocolVersion();
    void shouldAcceptOnlyConfiguredCredentials_data();
    void shouldAcceptOnlyConfiguredCredentials();
    void shouldCloseConnectionsToOtherPaths();
    void shouldStayQuietUnlessVerbose();

    void shouldServeStateRequestsFromDataSet();
    void shouldLoadDataFileAndDateCallsRelativeToNow();
    void shouldAnswerOtherCommandsWithEmptyDataAndTheirUuid_data();
    void shouldAnswerOtherCommandsWithEmptyDataAndTheirUuid();

    void shouldHonourAndEchoLimitAndOffset();
    void shouldServeLargeBookToClientPaging();
    void shouldStoreSavedAndForgetDeletedAddresses();
    void shouldServePicturesAsPng();

    void shouldPreferConfiguredReplies();
    void shouldRecordButNotAnswerWhileSilent();
    void shouldRefuseAtOnceAndResumeOnSamePort();
    void shouldDropAllConnections();
    void shouldSendRawFramesUnchanged();
    void shouldRecordEveryReceivedFrame();

    void shouldPushEventsShapedForTheClient_data();
    void shouldPushEventsShapedForTheClient();
    void shouldKeepAnswersConsistentWithPushedEvents();

    void programShouldAnnouncePortAndMaskCredentials();
    void programShouldFailWhenPortIsTaken();

private:
    bool loadTestData();

    std::unique_ptr<DemoServer> server;
    std::unique_ptr<TestClient> client;
    QTemporaryDir dir;
};

void tst_DemoServer::init()
{
    server = std::make_unique<DemoServer>();
    QVERIFY(server->listen());
    client = std::make_unique<TestClient>();
    QVERIFY(client->open(server->url()));
}

void tst_DemoServer::cleanup()
{
    client.reset();
    server.reset();
}

bool tst_DemoServer::loadTestData()
{
    const QJsonObject data{
        {"addressbooks", QJsonObject{{"b", QJsonObject{{"id", "b"}, {"name", "Test book"}}}}},
        {"addresses", QJsonObject{{"a1", QJsonObject{{"bookid", "b"}, {"lastname", "Eins"}}},
                                  {"a2", QJsonObject{{"bookid", "b"}, {"lastname", "Zwei"}}}}},
        {"pictures", QJsonObject{{"a1", "#336699"}}},
        {"lines", QJsonObject{{"x", QJsonObject{{"callid", "c1"}, {"state", 2},
                                                {"timestamp_offset", 3600}}}}},
    };
    QFile file(dir.filePath("data.json"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(data).toJson());
    file.close();
    return server->loadData(file.fileName());
}

void tst_DemoServer::shouldAnnounceConfiguredProtocolVersion_data()
{
    QTest::addColumn<bool>("configure");
    QTest::addColumn<QJsonValue>("version");
    QTest::newRow("default number") << false << QJsonValue(2.0);
    QTest::newRow("number") << true << QJsonValue(1.5);
    QTest::newRow("string") << true << QJsonValue("2.5");
    QTest::newRow("missing") << true << QJsonValue(QJsonValue::Undefined);
}

void tst_DemoServer::shouldAnnounceConfiguredProtocolVersion()
{
    QFETCH(bool, configure);
    QFETCH(QJsonValue, version);
    if (configure)
        server->setProtocolVersion(version);

    const QJsonObject answer = client->request("requestProtocolVersion");
    QCOMPARE(answer.contains("protocol_version"), !version.isUndefined());
    QCOMPARE(answer.value("protocol_version"), version);
}

void tst_DemoServer::shouldAcceptOnlyConfiguredCredentials_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QJsonObject>("data");
    QTest::addColumn<int>("status");
    const QJsonObject login{
            {"user", "anna"}, {"pass", "s3cret"}, {"client", "tapi"}, {"crypt", "no"}};
    const QJsonObject token{{"user", "anna"}, {"token", "s3cret"}, {"client", "tapimultiuser"}};
    const QString single = QStringLiteral("login");
    const QString multi = QStringLiteral("tapimultiuserlogin");
    QTest::newRow("login accepted") << single << login << 200;
    QTest::newRow("wrong password")
            << single << QJsonObject{{"user", "anna"}, {"pass", "S3cret"}} << 401;
    QTest::newRow("wrong user")
            << single << QJsonObject{{"user", "otto"}, {"pass", "s3cret"}} << 401;
    QTest::newRow("no password") << single << QJsonObject{{"user", "anna"}} << 401;
    QTest::newRow("token accepted") << multi << token << 200;
    QTest::newRow("password is no token") << multi << login << 401;
}

void tst_DemoServer::shouldAcceptOnlyConfiguredCredentials()
{
    QFETCH(QString, command);
    QFETCH(QJsonObject, data);
    QFETCH(int, status);
    server->setCredentials("anna", "s3cret");

    client->send(command, data);
    const QJsonObject response = client->next(command);
    QCOMPARE(response.value("type").toString(), QString("response"));
    QCOMPARE(response.value("data").toObject().value("status"), QJsonValue(status));
}

void tst_DemoServer::shouldCloseConnectionsToOtherPaths()
{
    QSignalSpy connected(server.get(), &DemoServer::clientConnected);
    QWebSocket other;
    QSignalSpy disconnected(&other, &QWebSocket::disconnected);
    QUrl url = server->url();
    url.setPath("/other");
    other.open(url);
    QVERIFY(disconnected.wait(5000));
    QCOMPARE(connected.count(), 0);
    QCOMPARE(server->clientCount(), 1);
}

void tst_DemoServer::shouldStayQuietUnlessVerbose()
{
    MessageCapture capture;
    client->request("login", {{"user", "demo"}, {"pass", "demo"}});
    client->page("1", 5, 0);
    server->pushEvent("updateLineStatus");
    client->next("updateLineStatus");
    server->dropConnections();
    QCOMPARE(capture.messages(), QStringList());
}

void tst_DemoServer::shouldServeStateRequestsFromDataSet()
{
    QVERIFY(!client->request("tapiGetUsers").value("users").toArray().isEmpty());
    QVERIFY(!client->request("requestUCItems").value("items").toObject().isEmpty());
    QVERIFY(!client->request("getAddressbooks").value("books").toObject().isEmpty());
    QVERIFY(!client->request("getContactTypes").value("ContactTypes").toArray().isEmpty());
    const QJsonObject lines = client->request("requestLineStatus").value("lines").toObject();
    QVERIFY(!lines.isEmpty());
    for (const QJsonValue &line : lines) {
        for (const QString &key : lineKeys)
            QVERIFY2(line.toObject().contains(key), qPrintable(key));
    }

    const QJsonObject groups = client->request("requestJabberBuddies").value("groups").toObject();
    QMap<QString, int> memberships;
    for (const QJsonValue &group : groups) {
        const QJsonObject buddies = group.toObject().value("users").toObject();
        for (auto it = buddies.constBegin(); it != buddies.constEnd(); ++it) {
            QCOMPARE(it.value().toObject().value("id").toString(), it.key());
            QVERIFY(it.value().toObject().contains("presence"));
            ++memberships[it.key()];
        }
    }
    QVERIFY2(std::any_of(memberships.cbegin(), memberships.cend(), [](int n) { return n > 1; }),
             "some buddy stands in two groups");

    const QJsonObject config = client->request("requestPhoneConfig");
    QCOMPARE(config.value("ctiAnswerSupported"), QJsonValue(true));
    QCOMPARE(config.value("dialprefix"), QJsonValue("0"));
    QVERIFY(config.value("callForwardPresets").toObject().contains(
            config.value("activeForwardPreset").toString()));
    for (const char *key : {"phones", "queues"}) {
        const QJsonObject entries = config.value(key).toObject();
        QVERIFY2(!entries.isEmpty(), key);
        for (auto it = entries.constBegin(); it != entries.constEnd(); ++it)
            QCOMPARE(it.value().toObject().value("id").toString(), it.key());
    }
}

void tst_DemoServer::shouldLoadDataFileAndDateCallsRelativeToNow()
{
    QVERIFY(loadTestData());
    QVERIFY(!server->loadData(dir.filePath("missing.json")));

    const QJsonObject line =
            client->request("requestLineStatus").value("lines").toObject().value("x").toObject();
    const QDateTime started =
            QDateTime::fromString(line.value("timestamp").toString(), "yyyy-MM-dd HH:mm:ss");
    QVERIFY(qAbs(started.secsTo(QDateTime::currentDateTime()) - 3600) <= 5);
    QVERIFY(line.value("duration").toString().startsWith("01:00:0"));
    QVERIFY(!line.contains("timestamp_offset"));
    QCOMPARE(client->request("getAddressbooks").value("books").toObject().keys(), QStringList{"b"});
}

void tst_DemoServer::shouldAnswerOtherCommandsWithEmptyDataAndTheirUuid_data()
{
    QTest::addColumn<QString>("command");
    for (const char *command : {"hangup", "dialNumber", "loginPhone", "model", "noSuchCommand"})
        QTest::newRow(command) << QString(command);
}

void tst_DemoServer::shouldAnswerOtherCommandsWithEmptyDataAndTheirUuid()
{
    QFETCH(QString, command);
    client->send(command, {{"callid", "c1"}}, "11111111-2222-4333-8444-555555555555");
    const QJsonObject response = client->next(command);
    QCOMPARE(response.value("type").toString(), QString("response"));
    QCOMPARE(response.value("uuid").toString(), QString("11111111-2222-4333-8444-555555555555"));
    QVERIFY(response.value("data").isObject());
    QVERIFY(response.value("data").toObject().isEmpty());
}

void tst_DemoServer::shouldHonourAndEchoLimitAndOffset()
{
    server->setBookSize("small", 30);
    const QStringList all = client->page("small", 100, 0).value("addresses").toObject().keys();
    QCOMPARE(all.size(), 30);

    const QJsonObject page = client->page("small", 10, 5);
    QCOMPARE(page.value("addresses").toObject().keys(), all.mid(4, 10));
    QCOMPARE(page.value("bookid"), QJsonValue("small"));
    QCOMPARE(page.value("limit"), QJsonValue(10));
    QCOMPARE(page.value("offset"), QJsonValue(4));
    QCOMPARE(client->page("small", 10, 1).value("addresses").toObject().keys(), all.mid(0, 10));
    for (const QJsonValue &entry : page.value("addresses").toObject()) {
        QVERIFY(entry.toObject().size() >= 10);
        QVERIFY(!entry.toObject().value("lastname").toString().isEmpty());
    }

    QCOMPARE(client->page("small", 10, 28).value("addresses").toObject().keys(), all.mid(27));
    QVERIFY(client->page("small", 10, 40).value("addresses").toObject().isEmpty());
    QVERIFY(client->page("small", 0, 0).value("addresses").toObject().isEmpty());
    QVERIFY(client->page("noSuchBook", 10, 0).value("addresses").toObject().isEmpty());
}

void tst_DemoServer::shouldServeLargeBookToClientPaging()
{
    server->setBookSize("big", 25000);
    const QStringList all = client->page("big", 25000, 0).value("addresses").toObject().keys();
    QCOMPARE(all.size(), 25000);

    // The client's rule: a full page is followed by offset + count + 1.
    QStringList fetched;
    QList<int> offsets;
    int offset = 0;
    for (;;) {
        offsets.append(offset);
        const QJsonObject page = client->page("big", 10000, offset);
        const QJsonObject addresses = page.value("addresses").toObject();
        fetched += addresses.keys();
        if (addresses.size() != page.value("limit").toInt())
            break;
        offset = page.value("offset").toInt() + addresses.size() + 1;
    }
    QCOMPARE(offsets, (QList<int>{0, 10001, 20001}));
    QCOMPARE(fetched, all);
}

void tst_DemoServer::shouldStoreSavedAndForgetDeletedAddresses()
{
    const QJsonObject saved = client->request(
            "saveAddress", {{"id", ""},
                            {"address", QJsonObject{{"bookid", "2"},
                                                    {"firstname", "Testine"},
                                                    {"phone", "030 23125000"}}}});
    const QString id = saved.value("id").toString();
    QVERIFY(!id.isEmpty());
    QCOMPARE(saved.value("address").toObject().value("id").toString(), id);
    QCOMPARE(saved.value("address").toObject().value("firstname").toString(), QString("Testine"));

    client->request("saveAddress",
                    {{"id", id},
                     {"address", QJsonObject{{"bookid", "2"}, {"phone", "030 23125001"}}}});
    QJsonObject book = client->page("2", 1000, 0).value("addresses").toObject();
    QCOMPARE(book.value(id).toObject().value("phone").toString(), QString("030 23125001"));
    QCOMPARE(book.keys().count(id), 1);

    QCOMPARE(client->request("deleteAddress", {{"id", id}}), (QJsonObject{{"id", id}}));
    book = client->page("2", 1000, 0).value("addresses").toObject();
    QVERIFY(!book.contains(id));

    server->setBookSize("gen", 20);
    const QStringList generated = client->page("gen", 100, 0).value("addresses").toObject().keys();
    client->request("deleteAddress", {{"id", generated.at(3)}});
    QStringList remaining = generated;
    remaining.removeAt(3);
    QCOMPARE(client->page("gen", 100, 0).value("addresses").toObject().keys(), remaining);
}

void tst_DemoServer::shouldServePicturesAsPng()
{
    QVERIFY(loadTestData());
    const QJsonObject demo = client->request("getAddressPicture", {{"id", "a1"}});
    QCOMPARE(demo.value("id").toString(), QString("a1"));
    QVERIFY(isPng(QByteArray::fromBase64(demo.value("data").toString().toLatin1())));

    QCOMPARE(client->request("getAddressPicture", {{"id", "a2"}}), (QJsonObject{{"id", "a2"}}));

    const QByteArray large = png(460, Qt::red);
    const QJsonObject set{{"id", "a2"},
                          {"image_460", QString::fromLatin1(large.toBase64())},
                          {"image_80", QString::fromLatin1(png(80, Qt::red).toBase64())},
                          {"image_40", QString::fromLatin1(png(40, Qt::red).toBase64())}};
    QCOMPARE(client->request("setAddressPicture", set), (QJsonObject{{"id", "a2"}}));
    const QJsonObject stored = client->request("getAddressPicture", {{"id", "a2"}});
    QCOMPARE(QByteArray::fromBase64(stored.value("data").toString().toLatin1()), large);

    server->setBookSize("gen", 10);
    int withPicture = 0;
    for (const QString &id : client->page("gen", 10, 0).value("addresses").toObject().keys()) {
        const QJsonObject picture = client->request("getAddressPicture", {{"id", id}});
        if (picture.contains("data")) {
            QVERIFY(isPng(QByteArray::fromBase64(picture.value("data").toString().toLatin1())));
            ++withPicture;
        }
    }
    QVERIFY(withPicture > 0 && withPicture < 10);
}

void tst_DemoServer::shouldPreferConfiguredReplies()
{
    const QJsonObject emptyPage{{"addresses", QJsonObject()}, {"limit", 0}, {"offset", 0},
                                {"bookid", "1"}};
    server->setReply("getAddresses", emptyPage);
    server->setReply("login", {{"status", "200"}});
    QCOMPARE(client->page("1", 10, 0), emptyPage);
    QCOMPARE(client->request("login", {{"user", "x"}}), (QJsonObject{{"status", "200"}}));

    server->clearReplies();
    QCOMPARE(client->page("1", 10, 0).value("limit"), QJsonValue(10));
}

void tst_DemoServer::shouldRecordButNotAnswerWhileSilent()
{
    server->setAnswering(false);
    client->send("requestLineStatus");
    QTRY_COMPARE(server->received("requestLineStatus").size(), 1);

    server->setAnswering(true);
    client->send("getContactTypes");
    QVERIFY(!client->next("getContactTypes").isEmpty());
    QCOMPARE(client->frames.size(), 1);
}

void tst_DemoServer::shouldRefuseAtOnceAndResumeOnSamePort()
{
    const quint16 port = server->port();
    QVERIFY(server->setRefusing(true));

    QWebSocket refused;
    QSignalSpy error(&refused, SIGNAL(error(QAbstractSocket::SocketError)));
    QElapsedTimer timer;
    timer.start();
    refused.open(server->url());
    QVERIFY(error.wait(2000));
    QVERIFY(timer.elapsed() < 2000);
    QCOMPARE(error.first().first().value<QAbstractSocket::SocketError>(),
             QAbstractSocket::ConnectionRefusedError);
    QVERIFY2(!client->request("getContactTypes").isEmpty(), "open connections stay");

    QVERIFY(server->setRefusing(false));
    QCOMPARE(server->port(), port);
    TestClient resumed;
    QVERIFY(resumed.open(server->url()));
    QVERIFY(!resumed.request("getContactTypes").isEmpty());
}

void tst_DemoServer::shouldDropAllConnections()
{
    TestClient second;
    QVERIFY(second.open(server->url()));
    QTRY_COMPARE(server->clientCount(), 2);
    QSignalSpy gone(server.get(), &DemoServer::clientDisconnected);

    server->dropConnections();
    QCOMPARE(server->clientCount(), 0);
    QCOMPARE(gone.count(), 2);
    QTRY_COMPARE(client->socket.state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE(second.socket.state(), QAbstractSocket::UnconnectedState);

    TestClient later;
    QVERIFY(later.open(server->url()));
    QTRY_COMPARE(server->clientCount(), 1);
}

void tst_DemoServer::shouldSendRawFramesUnchanged()
{
    server->sendText("{ not json");
    QTRY_COMPARE(client->texts, QStringList{"{ not json"});

    const QByteArray binary("\x00\x01\xff", 3);
    server->sendBinary(binary);
    QTRY_COMPARE(client->binaries, QList<QByteArray>{binary});

    server->sendResponse("login", {{"status", 200}});
    server->sendEvent("addressDeleted", {{"id", "42"}});
    const QJsonObject response = client->next("login");
    QCOMPARE(response.value("type").toString(), QString("response"));
    QCOMPARE(response.value("data").toObject(), (QJsonObject{{"status", 200}}));
    const QJsonObject event = client->next("addressDeleted");
    QCOMPARE(event.value("type").toString(), QString("event"));
    QCOMPARE(event.value("data").toObject(), (QJsonObject{{"id", "42"}}));
    QCOMPARE(event.value("uuid").toString().size(), 36);
}

void tst_DemoServer::shouldRecordEveryReceivedFrame()
{
    QSignalSpy commands(server.get(), &DemoServer::commandReceived);
    client->send("hold", {{"callid", "c7"}});
    client->socket.sendTextMessage("garbage");
    client->socket.sendTextMessage("[1, 2]");
    client->send("hold", {{"callid", "c8"}});
    QTRY_COMPARE(server->received().size(), 4);

    QCOMPARE(commands.count(), 4);
    QVERIFY(server->received().at(1).isEmpty());
    QVERIFY(server->received().at(2).isEmpty());
    const QList<QJsonObject> holds = server->received("hold");
    QCOMPARE(holds.size(), 2);
    QCOMPARE(holds.at(1).value("data").toObject(), (QJsonObject{{"callid", "c8"}}));
    QCOMPARE(holds.at(1), server->received().at(3));

    server->clearReceived();
    QVERIFY(server->received().isEmpty());
}

void tst_DemoServer::shouldPushEventsShapedForTheClient_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("keys");
    const auto row = [](const char *event, const char *key, const QStringList &keys) {
        QTest::newRow(event) << QString(event) << QString(key) << keys;
    };
    row("updateUserPresence", "", {"id", "presence"});
    row("updateLineStatus", "", lineKeys);
    row("addressAdded", "address", {"id", "lastname"});
    row("addressChanged", "address", {"id", "lastname"});
    row("addressDeleted", "", {"id"});
    row("contactTypesChanged", "", {"ContactTypes"});
    row("phoneConfigChanged", "", {"activeForwardPreset"});
    row("phoneChanged", "phone", {"id"});
    row("queueChanged", "queue", {"id"});
}

void tst_DemoServer::shouldPushEventsShapedForTheClient()
{
    QFETCH(QString, event);
    QFETCH(QString, key);
    QFETCH(QStringList, keys);
    QVERIFY(DemoServer::eventNames().contains(event));
    QVERIFY(server->pushEvent(event));

    const QJsonObject frame = client->next(event);
    QCOMPARE(frame.value("type").toString(), QString("event"));
    const QJsonObject data = frame.value("data").toObject();
    const QJsonObject payload = key.isEmpty() ? data : data.value(key).toObject();
    for (const QString &expected : keys)
        QVERIFY2(payload.contains(expected), qPrintable(expected));
    if (key == "address")
        QCOMPARE(data.value("id"), payload.value("id"));

    QVERIFY(!server->pushEvent("noSuchEvent"));
}

void tst_DemoServer::shouldKeepAnswersConsistentWithPushedEvents()
{
    QVERIFY(server->pushEvent("phoneConfigChanged"));
    QVERIFY(server->pushEvent("phoneChanged"));
    const QJsonObject preset = client->next("phoneConfigChanged").value("data").toObject();
    const QJsonObject phone =
            client->next("phoneChanged").value("data").toObject().value("phone").toObject();
    const QJsonObject config = client->request("requestPhoneConfig");
    QCOMPARE(config.value("activeForwardPreset"), preset.value("activeForwardPreset"));
    const QJsonObject phones = config.value("phones").toObject();
    QCOMPARE(phones.value(phone.value("id").toString()), QJsonValue(phone));

    QVERIFY(server->pushEvent("addressAdded"));
    const QJsonObject added = client->next("addressAdded").value("data").toObject();
    const QString bookId = added.value("address").toObject().value("bookid").toString();
    const QString id = added.value("id").toString();
    QVERIFY(client->page(bookId, 1000, 0).value("addresses").toObject().contains(id));
    QVERIFY(server->pushEvent("addressDeleted"));
    QCOMPARE(client->next("addressDeleted").value("data").toObject().value("id").toString(), id);
    QVERIFY(!client->page(bookId, 1000, 0).value("addresses").toObject().contains(id));
}

void tst_DemoServer::programShouldAnnouncePortAndMaskCredentials()
{
    QProcess program;
    QByteArray output;
    connect(&program, &QProcess::readyReadStandardOutput,
            [&] { output += program.readAllStandardOutput(); });
    program.start(DEMO_SERVER_PROGRAM, {"--port", "0", "--user", "anna", "--password",
                                        "pw-not-for-logs", "--book-size", "gen=12"});
    QTRY_VERIFY_WITH_TIMEOUT(output.contains('\n'), 5000);
    const QRegularExpressionMatch listening =
            QRegularExpression("^Listening on (ws://127\\.0\\.0\\.1:(\\d+)/cti)\n")
                    .match(QString::fromUtf8(output));
    QVERIFY2(listening.hasMatch(), output.constData());
    QVERIFY(listening.captured(2).toInt() > 0);

    TestClient programClient;
    QVERIFY(programClient.open(QUrl(listening.captured(1))));
    const QString secret = QStringLiteral("pw-not-for-logs");
    QCOMPARE(programClient.request("login", {{"user", "anna"}, {"pass", secret}}).value("status"),
             QJsonValue(200));
    QCOMPARE(programClient.request("tapimultiuserlogin", {{"user", "anna"}, {"token", secret}})
                     .value("status"),
             QJsonValue(200));
    QCOMPARE(programClient.page("gen", 100, 0).value("addresses").toObject().size(), 12);
    QTRY_VERIFY_WITH_TIMEOUT(output.contains("getAddresses"), 5000);

    program.terminate();
    QVERIFY(program.waitForFinished(5000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(output.contains("\"pass\":\"****\""));
    QVERIFY(output.contains("\"token\":\"****\""));
    QVERIFY(!output.contains("pw-not-for-logs"));
}

void tst_DemoServer::programShouldFailWhenPortIsTaken()
{
    QProcess program;
    program.start(DEMO_SERVER_PROGRAM, {"--port", QString::number(server->port())});
    QVERIFY(program.waitForFinished(5000));
    QVERIFY(program.exitCode() != 0);
    QVERIFY(!program.readAllStandardOutput().contains("Listening"));
}

QTEST_MAIN(tst_DemoServer)
#include "tst_demoserver.moc"
