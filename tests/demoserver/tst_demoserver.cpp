#include "demodata.h"
#include "demoserver.h"
#include "demoserverprogram.h"

#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>

#include <limits>

// The client suites in tests/cti/ talk to this server over the wire and so cover its handshake,
// every answer, its events and its fault injection. What a client cannot notice is tested here.
class tst_DemoServer : public QObject
{
    Q_OBJECT

    DemoData data;

    // The addresses of a page, by id; generated ids sort in book order.
    QJsonObject page(const QString &book, int limit, int offset, int *before = nullptr)
    {
        const QJsonObject request{{"bookid", book}, {"limit", limit}, {"offset", offset}};
        const QJsonObject answer = data.answer("getAddresses", request).value_or(QJsonObject());
        if (before)
            *before = answer.value("offset").toInt();
        return answer.value("addresses").toObject();
    }

    QByteArray picture(const QString &id)
    {
        const QJsonObject answer = data.answer("getAddressPicture", {{"id", id}}).value_or(QJsonObject());
        return QByteArray::fromBase64(answer.value("data").toString().toLatin1());
    }

private slots:
    void init()
    {
        data = DemoData();
        data.setBookSize("gen", 30);
    }

    // A request's offset is the 1-based position of the first entry wanted, 0 also meaning
    // the first; the answer's offset counts the entries before the page.
    void shouldPageFromOneBasedOffsets()
    {
        const QStringList all = page("gen", 100, 0).keys();
        QCOMPARE(page("gen", 10, 1).keys(), all.mid(0, 10));
        int before = -1;
        QCOMPARE(page("gen", 10, 5, &before).keys(), all.mid(4, 10));
        QCOMPARE(before, 4);
        QVERIFY(page("gen", 10, 31).isEmpty());
        // Numbers of any size, as a client may send them, without overflow.
        QVERIFY(page("gen", 10, std::numeric_limits<int>::max()).isEmpty());
        QCOMPARE(page("gen", std::numeric_limits<int>::max(), std::numeric_limits<int>::min()).keys(), all);
        const QJsonObject huge{{"bookid", "gen"}, {"limit", 1e300}, {"offset", -1e300}};
        QCOMPARE(data.answer("getAddresses", huge).value_or(QJsonObject()).value("addresses").toObject().keys(), all);
    }

    // The first change to a generated book turns it into stored entries: nothing may get lost
    // there, and what commands and events change must show in later answers.
    void shouldKeepAddressChangesAndPictures()
    {
        const QStringList generated = page("gen", 100, 0).keys();
        data.answer("deleteAddress", {{"id", generated.at(3)}});
        const QJsonObject address{{"bookid", "gen"}, {"phone", "030 23125000"}};
        const QString id = data.answer("saveAddress", {{"id", ""}, {"address", address}})
                                   .value_or(QJsonObject()).value("id").toString();
        data.answer("saveAddress", {{"id", id}, {"address", address}});
        QCOMPARE(page("gen", 100, 0).value(id).toObject().value("phone"), address.value("phone"));
        data.answer("setAddressPicture", {{"id", id}, {"image_460", QString(QByteArray("any").toBase64())}});
        QCOMPARE(picture(id), QByteArray("any"));
        // Every fifth generated entry, the first included, has a drawn portrait.
        const QByteArray drawn = picture(generated.first());
        QVERIFY(drawn.startsWith("\x89PNG\r\n\x1a\n") && !QImage::fromData(drawn, "PNG").isNull());

        data.answer("deleteAddress", {{"id", id}});
        QCOMPARE(page("gen", 100, 0).keys(), generated.mid(0, 3) + generated.mid(4));
        QVERIFY(picture(id).isEmpty());

        // A deleted entry has no address in the event nor in the answer.
        for (const char *event : {"addressAdded", "addressChanged", "addressDeleted"}) {
            const QJsonObject pushed = data.nextEvent(event).value_or(QJsonObject());
            QVERIFY2(pushed.contains("id"), event);
            QCOMPARE(page("gen", 100, 0).value(pushed.value("id").toString()), pushed.value("address"));
        }
    }

    // A demo runs for hours: what the server keeps of the frames it received must not grow.
    void shouldKeepOnlyTheLatestFrames()
    {
        DemoServer server;
        QVERIFY(server.listen());
        server.setAnswering(false);
        QWebSocket socket;
        QSignalSpy connected(&socket, &QWebSocket::connected);
        socket.open(server.url());
        QVERIFY(connected.wait(5000));
        const int sent = DemoServer::historyLimit + 5;
        for (int n = 0; n < sent; ++n)
            socket.sendTextMessage(QString(R"({"type":"command","name":"n%1"})").arg(n));
        QTRY_COMPARE(server.received("n" + QString::number(sent - 1)).size(), 1);
        QCOMPARE(server.received().size(), DemoServer::historyLimit);
        QCOMPARE(server.received().first().value("name").toString(), "n5");
    }

    // Option values that make no sense end the program at once with a usage error.
    void programShouldRefuseNonsensicalOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("port too large") << QStringList{"--port", "65536"};
        QTest::newRow("negative port") << QStringList{"--port", "-1"};
        QTest::newRow("no events") << QStringList{"--events-every", "0"};
        QTest::newRow("negative events") << QStringList{"--events-every", "-3"};
        QTest::newRow("events too rare") << QStringList{"--events-every", "1e9"};
        QTest::newRow("negative book") << QStringList{"--book-size", "big=-5"};
        QTest::newRow("book too large") << QStringList{"--book-size", "big=3000000000"};
    }

    void programShouldRefuseNonsensicalOptions()
    {
        QFETCH(QStringList, arguments);
        QProcess program;
        program.start(demoServerProgram(), arguments);
        QVERIFY(program.waitForFinished(5000));
        QCOMPARE(program.exitCode(), 2);
        QVERIFY2(program.readAllStandardError().contains(arguments.first().toUtf8()), "names the option");
    }

    // Scripts read the announced address and stop the program with SIGTERM; people read its log,
    // so the configured password must not appear in it, nor any password or token sent.
    void programShouldAnnounceItsPortMaskCredentialsAndStopWhenAskedTo()
    {
        QProcess program;
        program.start(demoServerProgram(), {"--port", "0", "--password", "pw-not-for-logs"});
        QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine(), 5000);
        const QByteArray announced = program.readLine().trimmed();
        const QUrl url(QString::fromUtf8(announced.mid(announced.indexOf("ws://"))));
        QCOMPARE(announced, "Listening on ws://127.0.0.1:" + QByteArray::number(url.port()) + "/cti");
        QWebSocket socket;
        QSignalSpy connected(&socket, &QWebSocket::connected);
        socket.open(url);
        QVERIFY(connected.wait(5000));
        // Both logins accept the configured password; their answers are logged after them.
        socket.sendTextMessage(R"({"type":"command","name":"login","data":{"user":"demo","pass":"pw-not-for-logs"}})");
        socket.sendTextMessage(R"({"type":"command","name":"tapimultiuserlogin",
                "data":{"user":"demo","token":"pw-not-for-logs"}})");
        QTRY_COMPARE_WITH_TIMEOUT(program.peek(100000).count(R"("status":200)"), 2, 5000);
        const QByteArray log = program.peek(100000);
        QVERIFY(log.contains(R"("pass":"****")") && log.contains(R"("token":"****")"));
        QVERIFY(!log.contains("pw-not-for-logs"));

        QProcess second;
        second.start(demoServerProgram(), {"--port", QString::number(url.port())});
        QVERIFY2(second.waitForFinished(5000) && second.exitCode() != 0, "fails on a taken port");
#ifdef Q_OS_WIN
        program.kill(); // terminate() asks a program's windows to close, and a console program has none
#else
        program.terminate();
        QVERIFY(program.waitForFinished(5000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
#endif
    }
};

QTEST_MAIN(tst_DemoServer)
#include "tst_demoserver.moc"
