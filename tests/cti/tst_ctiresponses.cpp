#include "connectorfixture.h"
#include "cticonnectorresponsehandler.h"
#include "messagecapture.h"

#include <QDateTime>
#include <QJsonArray>
#include <QMutex>
#include <QThreadPool>
#include <QtTest>

class tst_CTIResponses : public QObject
{
    Q_OBJECT

    // The pool task announces through the process's one connector: it needs a settings folder
    // from before its creation.
    TestEnvironment sharedEnvironment;
    std::unique_ptr<ConnectorFixture> fixture;
    CTIConnector *connector = nullptr;

    static QJsonObject line(const char *callId, qint64 secondsFromNow)
    {
        return {{"callid", callId}, {"timestamp", QDateTime::currentDateTime().addSecs(secondsFromNow).toString("yyyy-MM-dd HH:mm:ss")}};
    }

    static ModelSubclass *announced(const QSignalSpy &spy, int index = 0)
    {
        return spy.value(index).value(0).value<ModelSubclass *>();
    }

    // A record's id and attributes, compared in one go.
    static QVariantList fields(ModelSubclass *record) { return {record->id(), record->attributes()}; }

private slots:
    void init()
    {
        fixture = std::make_unique<ConnectorFixture>();
        QVERIFY(fixture->login());
        connector = fixture->connector;
    }

    void cleanup() { fixture.reset(); }

    // What each record holds, not only how many come: the entry's fields as its attributes, its
    // id from "id", or for an address book from the outer key. Lines of the last eight hours, to
    // the second, are kept and announced, the others dropped without a word; a call id given
    // twice keeps the later line, and a time in another form counts as now.
    void shouldFillAndKeepWhatTheServerLists()
    {
        QSignalSpy books(connector, &CTIConnector::addressBookAdded);
        QSignalSpy presets(connector, &CTIConnector::forwardPresetAdded);
        QSignalSpy success(connector, &CTIConnector::loginSuccessSignal);
        QSignalSpy opened(connector, &CTIConnector::lineOpenend);
        QSignalSpy added(connector, &CTIConnector::jabberBuddyAdded);
        QSignalSpy changed(connector, &CTIConnector::jabberBuddyChanged);
        QSignalSpy active(connector, &CTIConnector::activeForwardPresetChanged);
        QSignalSpy prefix(connector, &CTIConnector::dialPrefixChanged);
        QSignalSpy phones(connector, &CTIConnector::phoneAdded);
        QSignalSpy queues(connector, &CTIConnector::queueAdded);
        const QJsonObject first{{"id", "inner"}, {"name", "Privat"}};
        const QJsonObject second{{"name", "Firma"}, {"count", 2}};
        fixture->server.sendResponse("getAddressbooks", {{"books", QJsonObject{{"b2", second}, {"b1", first}}}});
        // No queues, no active preset, no prefix; handled before the demo's answer.
        const QJsonObject preset{{"id", "mobile"}, {"name", "Handy"}, {"target", "0171 2345"}};
        const QJsonObject withoutId{{"name", "Empfang"}};
        fixture->server.sendResponse("requestPhoneConfig", {{"callForwardPresets", QJsonObject{{"p", preset}}},
                                                            {"phones", QJsonObject{{"x", withoutId}}}});
        const QJsonObject user{{"id", "u7"}, {"name", "Anna"}, {"extension", 207}};
        for (int answer = 0; answer < 2; ++answer)
            fixture->server.sendResponse("tapiGetUsers", {{"users", QJsonArray{user}}});
        const qint64 window = 8 * 3600;
        const QJsonObject undated{{"callid", "undated"}, {"timestamp", "2026-01-01T10:00:00"}};
        const QJsonObject lines{{"1", line("inside", 1 - window)}, {"2", line("outside", -1 - window)}, {"3", line("twice", -5)},
                                {"4", line("twice", -10)}, {"5", line("ahead", 3600)}, {"6", undated}};
        fixture->server.sendResponse("requestLineStatus", {{"lines", lines}});
        connector->requestJabberBuddies(); // u204 stands in both demo groups
        connector->requestPhoneConfig();
        QTRY_COMPARE(queues.count(), 2);

        QCOMPARE(books.count(), 2); // in key order
        QCOMPARE(fields(announced(books, 0)), (QVariantList{"b1", first.toVariantMap()}));
        QCOMPARE(fields(announced(books, 1)), (QVariantList{"b2", second.toVariantMap()}));
        // Five buddies and the u204 of the second group, two TAPI answers, the presets and phones
        // of both configurations.
        QCOMPARE((QList<qsizetype>{added.count(), changed.count(), success.count(), presets.count(), phones.count()}),
                 (QList<qsizetype>{5, 1, 2, 5, 4}));
        QCOMPARE(announced(changed)->id(), QString("u204"));
        QVERIFY(connector->storedBuddies().value("u204") != announced(changed));
        QCOMPARE(fields(announced(presets)), (QVariantList{"mobile", preset.toVariantMap()}));
        QCOMPARE(connector->storedPhones().keys(), (QStringList{"", "p1", "p2", "p3"}));
        QCOMPARE(fields(connector->storedPhones().value("")), (QVariantList{"", withoutId.toVariantMap()}));
        QCOMPARE(connector->storedTapiUsers().size(), 2); // each answer adds its users
        QCOMPARE(fields(connector->storedTapiUsers().last().get()), (QVariantList{"u7", user.toVariantMap()}));
        QCOMPARE(active, (QList<QVariantList>{{""}, {"none"}}));
        QCOMPARE(prefix, (QList<QVariantList>{{""}, {"0"}}));
        QCOMPARE(connector->storedQueues().value("q1"), announced(queues));
        QVERIFY(connector->isCtiAnswerSupported());
        QCOMPARE(opened.count(), 4);
        QCOMPARE(announced(opened, 0)->attribute("callId"), QVariant("inside"));
        QCOMPARE(connector->storedLines().keys(), (QStringList{"inside", "twice", "undated"}));
        QCOMPARE(connector->storedLines().value("twice"), announced(opened, 2));
        QVERIFY(announced(opened, 1) != announced(opened, 2));
    }

    void shouldReadAddressBooksPageByPage()
    {
        // Every JSON type, and an inner "id" that differs from the outer key.
        const QJsonObject entry{{"id", "inner"}, {"floor", 3}, {"vip", true}, {"fax", QJsonValue::Null},
                                {"tags", QJsonArray{"a", 1}}, {"home", QJsonObject{{"city", "Köln"}}}};
        const QJsonObject three{{"a0", entry}, {"a1", entry}, {"a2", entry}};
        QSignalSpy added(connector, &CTIConnector::addressAdded);
        fixture->server.setAnswering(false);
        // Only a full page asks for the next, behind it: not an empty one (limit 0 must not make the
        // client loop), not one without book, not a short one.
        fixture->server.sendResponse("getAddresses", {{"addresses", QJsonObject()}, {"limit", 0}, {"offset", 3}, {"bookid", "b"}});
        fixture->server.sendResponse("getAddresses", {{"addresses", three}, {"limit", 3}, {"offset", 3}, {"bookid", ""}});
        fixture->server.sendResponse("getAddresses", {{"addresses", three}, {"limit", 4}, {"offset", 3}, {"bookid", "b"}});
        fixture->server.sendResponse("getAddresses", {{"addresses", three}, {"limit", 3}, {"offset", 3}, {"bookid", "b"}});
        // Offsets at the end of what the follow-up can carry: the last one that fits, then past it.
        // (The capture also keeps the pages' JSON out of the test output.)
        MessageCapture capture;
        for (const double offset : {2147483643.0, 2147483644.0, 1e12})
            fixture->server.sendResponse("getAddresses", {{"addresses", three}, {"limit", 3}, {"offset", offset}, {"bookid", "edge"}});
        QTRY_COMPARE(added.count(), 18);
        QVERIFY(capture.contains("]:: stop paging address book edge: the next offset 2147483648 is out of range\""));
        QVERIFY(capture.contains("]:: stop paging address book edge: the next offset 1000000000004 is out of range\""));
        QCOMPARE(fields(announced(added)), (QVariantList{"a0", entry.toVariantMap()}));
        // Handled in order, and a follow-up is written before its handler returns: a marker
        // command travels behind every follow-up. (A book of many pages: tst_ctifaults.)
        connector->requestAddressBooks();
        QTRY_COMPARE(fixture->sent("getAddressbooks").size(), 1);
        QCOMPARE(fixture->sent("getAddresses"), (QList<QJsonObject>{{{"bookid", "b"}, {"limit", 3}, {"offset", 7}},
                                                                   {{"bookid", "edge"}, {"limit", 3}, {"offset", 2147483647}}}));
    }

    void shouldDeliverPicturesAndDirectoryChanges()
    {
        QSignalSpy pictures(connector, &CTIConnector::addressPictureAvailable);
        QSignalSpy saved(connector, &CTIConnector::addressSaved);
        QSignalSpy deleted(connector, &CTIConnector::addressDeleted);
        QSignalSpy pictureSet(connector, &CTIConnector::addressPictureSet);
        QSignalSpy types(connector, &CTIConnector::contactTypesAvailable);
        connector->requestAddressPicture("10001"); // answered behind the responses below
        fixture->server.sendResponse("saveAddress", {{"id", "a5"}, {"address", QJsonObject{{"image_460", "L"}, {"image_80", "M"}}}});
        for (const char *id : {"", "a5"}) {
            fixture->server.sendResponse("deleteAddress", {{"id", id}});
            fixture->server.sendResponse("setAddressPicture", {{"id", id}});
            fixture->server.sendResponse("getAddressPicture", {{"id", id}});
        }
        fixture->server.sendResponse("getContactTypes", {});
        QTRY_COMPARE(pictures.count(), 2);
        QCOMPARE(saved.count(), 1);
        QCOMPARE(announced(saved)->attributes().keys(), QStringList{"image_80"});
        QCOMPARE(deleted, (QList<QVariantList>{{"a5"}}));
        QCOMPARE(pictureSet, (QList<QVariantList>{{"a5"}}));
        QCOMPARE(types, (QList<QVariantList>{{QStringList()}}));
        QVERIFY(pictures.first().at(0).value<QPixmap>().isNull());
        QVERIFY(!pictures.last().at(0).value<QPixmap>().isNull());
    }

    // JPEG and GIF need Qt's image format plugins, which the programs carry for that: without
    // them such a picture would arrive as a null pixmap, silently. Scaled as a contact list
    // would show it, each quadrant keeps its colour.
    void shouldDecodeAPictureInEachFormatAServerSends_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("JPEG") << ":/pictures/quadrants.jpg";
        QTest::newRow("GIF") << ":/pictures/quadrants.gif";
    }

    void shouldDecodeAPictureInEachFormatAServerSends()
    {
        QFETCH(QString, file);
        QFile picture(file);
        QVERIFY(picture.open(QIODevice::ReadOnly));
        QSignalSpy pictures(connector, &CTIConnector::addressPictureAvailable);
        fixture->server.sendResponse("getAddressPicture", {{"id", "10001"}, {"data", QString::fromLatin1(picture.readAll().toBase64())}});
        QTRY_COMPARE(pictures.count(), 1);

        const QPixmap received = pictures.first().at(0).value<QPixmap>();
        QCOMPARE(received.size(), QSize(120, 90));
        const QImage scaled = received.scaled(40, 40, Qt::KeepAspectRatio, Qt::SmoothTransformation).toImage();
        QCOMPARE(scaled.size(), QSize(40, 30));
        const QList<QPair<QPoint, QColor>> quadrants{{{10, 7}, QColor(200, 30, 30)}, {{30, 7}, QColor(30, 160, 40)},
                                                     {{10, 22}, QColor(30, 60, 200)}, {{30, 22}, QColor(240, 200, 20)}};
        for (const auto &[point, colour] : quadrants) {
            const QColor found = scaled.pixelColor(point);
            QVERIFY2(qAbs(found.red() - colour.red()) + qAbs(found.green() - colour.green()) + qAbs(found.blue() - colour.blue()) < 30,
                     qPrintable(found.name() + " for " + colour.name()));
        }
    }

    void shouldBuildPoolRecordsForTheConnectorsThread()
    {
        fixture.reset(); // its settings folder would hide the shared one
        ConnectorFixture shared(CTIConnector::instance());
        QVERIFY(shared.login());
        // The fields of each record announced on a pool thread, but for the connector's thread.
        QMutex mutex;
        QList<QVariantMap> fromPool;
        const auto note = [&](ModelSubclass *record) {
            QMutexLocker lock(&mutex);
            if (QThread::currentThread() != shared.connector->thread() && record->thread() == shared.connector->thread())
                fromPool.append(record->attributes());
        };
        const auto pooled = [&] {
            QMutexLocker lock(&mutex);
            return fromPool;
        };
        connect(shared.connector, &CTIConnector::ucItemAdded, &shared.server, note, Qt::DirectConnection);
        connect(shared.connector, &CTIConnector::addressAdded, &shared.server, note, Qt::DirectConnection);
        shared.connector->requestUCItems();
        QTRY_COMPARE(pooled().size(), 4);
        const QJsonObject item{{"id", "uc9"}, {"type", "voicemail"}, {"from", "0815"}, {"duration", 42}};
        shared.server.sendResponse("requestUCItems", {{"items", QJsonObject{{"uc9", item}}}});
        QTRY_COMPARE(pooled().size(), 5);
        QCOMPARE(pooled().last(), item.toVariantMap());

        MessageCapture capture;
        const CTIMessage page(QByteArray(R"({"type":"response","name":"getAddresses",
            "data":{"bookid":"pool","limit":2,"addresses":{"x1":{},"x2":{}}}})"));
        QThreadPool::globalInstance()->start(new CTIConnectorResponseHandler(page));
        QThreadPool::globalInstance()->waitForDone();
        QCOMPARE(pooled().size(), 7);
        QVERIFY(!capture.contains("getAddresses")); // queued for the connector's thread, not sent yet
        QTRY_COMPARE(shared.sent("getAddresses"), (QList<QJsonObject>{{{"bookid", "pool"}, {"limit", 2}, {"offset", 3}}}));
        shared.connector->stop();
    }
};

QTEST_MAIN(tst_CTIResponses)
#include "tst_ctiresponses.moc"
