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

private slots:
    void init()
    {
        fixture = std::make_unique<ConnectorFixture>();
        QVERIFY(fixture->login());
        connector = fixture->connector;
    }

    void cleanup() { fixture.reset(); }

    void shouldKeepWhatTheServerLists()
    {
        QSignalSpy added(connector, &CTIConnector::jabberBuddyAdded);
        QSignalSpy changed(connector, &CTIConnector::jabberBuddyChanged);
        QSignalSpy success(connector, &CTIConnector::loginSuccessSignal);
        QSignalSpy presets(connector, &CTIConnector::forwardPresetAdded);
        QSignalSpy active(connector, &CTIConnector::activeForwardPresetChanged);
        QSignalSpy prefix(connector, &CTIConnector::dialPrefixChanged);
        QSignalSpy phones(connector, &CTIConnector::phoneAdded);
        QSignalSpy queues(connector, &CTIConnector::queueAdded);
        const QJsonObject undated{{"callid", "undated"}, {"timestamp", "2026-01-01T10:00:00"}};
        const QJsonObject lines{{"1", line("now", -60)}, {"2", line("old", -9 * 3600)}, {"3", line("ahead", 3600)}, {"4", undated}};
        fixture->server.sendResponse("requestLineStatus", {{"lines", lines}});
        fixture->server.sendResponse("requestPhoneConfig", {}); // no phones, no queues; handled before the demo's answer
        connector->requestJabberBuddies(); // u204 stands in both demo groups
        connector->requestTapiUsers();
        connector->requestTapiUsers();
        connector->requestPhoneConfig();
        QTRY_COMPARE(queues.count(), 2);
        QCOMPARE(connector->storedLines().keys(), (QStringList{"now", "undated"}));
        // Five buddies and the u204 of the second group, two TAPI answers, the demo's presets and phones.
        QCOMPARE((QList<qsizetype>{added.count(), changed.count(), success.count(), presets.count(), phones.count()}), (QList<qsizetype>{5, 1, 2, 4, 3}));
        QCOMPARE(announced(changed)->id(), QString("u204"));
        QVERIFY(connector->storedBuddies().value("u204") != announced(changed));
        QCOMPARE(connector->storedTapiUsers().size(), 6); // the demo's three users, twice
        QCOMPARE(active, (QList<QVariantList>{{""}, {"none"}}));
        QCOMPARE(prefix, (QList<QVariantList>{{""}, {"0"}}));
        QCOMPARE(connector->storedPhones().keys(), (QStringList{"p1", "p2", "p3"}));
        QCOMPARE(connector->storedQueues().value("q1"), announced(queues));
        QVERIFY(connector->isCtiAnswerSupported());
    }

    // What each record holds, not only how many come: the entry's fields as its attributes, its
    // id from "id", or for an address book from the outer key.
    void shouldFillEachRecordFromItsEntry()
    {
        QSignalSpy books(connector, &CTIConnector::addressBookAdded);
        QSignalSpy presets(connector, &CTIConnector::forwardPresetAdded);
        QSignalSpy success(connector, &CTIConnector::loginSuccessSignal);
        const QJsonObject first{{"id", "inner"}, {"name", "Privat"}};
        const QJsonObject second{{"name", "Firma"}, {"count", 2}};
        fixture->server.sendResponse("getAddressbooks", {{"books", QJsonObject{{"b2", second}, {"b1", first}}}});
        const QJsonObject preset{{"id", "mobile"}, {"name", "Handy"}, {"target", "0171 2345"}};
        const QJsonObject withoutId{{"name", "Empfang"}};
        fixture->server.sendResponse("requestPhoneConfig", {{"callForwardPresets", QJsonObject{{"p", preset}}},
                                                            {"phones", QJsonObject{{"x", withoutId}}}});
        const QJsonObject user{{"id", "u7"}, {"name", "Anna"}, {"extension", 207}};
        fixture->server.sendResponse("tapiGetUsers", {{"users", QJsonArray{user}}});
        QTRY_COMPARE(success.count(), 1);

        QCOMPARE(books.count(), 2); // in key order
        QCOMPARE(announced(books, 0)->id(), QString("b1"));
        QCOMPARE(announced(books, 0)->attributes(), first.toVariantMap());
        QCOMPARE(announced(books, 1)->id(), QString("b2"));
        QCOMPARE(announced(books, 1)->attributes(), second.toVariantMap());
        QCOMPARE(announced(presets)->id(), QString("mobile"));
        QCOMPARE(announced(presets)->attributes(), preset.toVariantMap());
        QCOMPARE(connector->storedPhones().keys(), QStringList{""});
        QCOMPARE(connector->storedPhones().value("")->attributes(), withoutId.toVariantMap());
        QCOMPARE(connector->storedTapiUsers().size(), 1);
        QCOMPARE(connector->storedTapiUsers().first()->id(), QString("u7"));
        QCOMPARE(connector->storedTapiUsers().first()->attributes(), user.toVariantMap());
    }

    // Lines of the last eight hours, to the second: each kept one announced, the others dropped
    // without a word; a call id given twice keeps the later line.
    void shouldKeepTheLinesOfTheLastEightHours()
    {
        QSignalSpy opened(connector, &CTIConnector::lineOpenend);
        const qint64 window = 8 * 3600;
        const QJsonObject lines{{"1", line("inside", 1 - window)}, {"2", line("outside", -1 - window)},
                                {"3", line("twice", -5)}, {"4", line("twice", -10)}};
        fixture->server.sendResponse("requestLineStatus", {{"lines", lines}});
        QTRY_COMPARE(opened.count(), 3);
        QCOMPARE(announced(opened, 0)->attribute("callId"), QVariant("inside"));
        QCOMPARE(connector->storedLines().keys(), (QStringList{"inside", "twice"}));
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
        // (The capture also keeps the pages of JSON below out of the test output.)
        MessageCapture capture;
        for (const double offset : {2147483643.0, 2147483644.0, 1e12})
            fixture->server.sendResponse("getAddresses", {{"addresses", three}, {"limit", 3}, {"offset", offset}, {"bookid", "edge"}});
        QTRY_COMPARE(added.count(), 18);
        QVERIFY(capture.contains("]:: stop paging address book edge: the next offset 2147483648 is out of range\""));
        QVERIFY(capture.contains("]:: stop paging address book edge: the next offset 1000000000004 is out of range\""));
        QCOMPARE(announced(added)->id(), QString("a0"));
        QCOMPARE(announced(added)->attributes(), entry.toVariantMap());

        fixture->server.setAnswering(true);
        fixture->server.setBookSize("big", 25000);
        QStringList ids;
        connect(connector, &CTIConnector::addressAdded, connector, [&](Addresses *address) {
            ids.append(address->id());
            delete address;
        });
        connector->requestAddresses("big");
        QTRY_COMPARE_WITH_TIMEOUT(ids.size(), 25000, 20000);
        QCOMPARE(QSet<QString>(ids.cbegin(), ids.cend()).size(), 25000);
        // Handled in order, and a follow-up is written before its handler returns: a marker
        // command travels behind every follow-up.
        connector->requestAddressBooks();
        QTRY_COMPARE(fixture->sent("getAddressbooks").size(), 1);
        const auto big = [](int offset) { return QJsonObject{{"bookid", "big"}, {"limit", 10000}, {"offset", offset}}; };
        QCOMPARE(fixture->sent("getAddresses"), (QList<QJsonObject>{{{"bookid", "b"}, {"limit", 3}, {"offset", 7}},
                                                                   {{"bookid", "edge"}, {"limit", 3}, {"offset", 2147483647}},
                                                                   big(0), big(10001), big(20001)}));
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
        QAtomicInt fromPool; // counted on pool threads
        const auto count = [&](ModelSubclass *record) {
            if (QThread::currentThread() != shared.connector->thread() && record->thread() == shared.connector->thread())
                fromPool.ref();
        };
        connect(shared.connector, &CTIConnector::ucItemAdded, &shared.server, count, Qt::DirectConnection);
        connect(shared.connector, &CTIConnector::addressAdded, &shared.server, count, Qt::DirectConnection);
        shared.connector->requestUCItems();
        QTRY_COMPARE(fromPool.loadAcquire(), 4);

        // An item holds its entry's fields.
        QMutex itemsMutex;
        QList<QVariantMap> items; // filled on a pool thread
        connect(shared.connector, &CTIConnector::ucItemAdded, &shared.server, [&](UCItem *item) {
            QMutexLocker lock(&itemsMutex);
            items.append(item->attributes());
        }, Qt::DirectConnection);
        const QJsonObject item{{"id", "uc9"}, {"type", "voicemail"}, {"from", "0815"}, {"duration", 42}};
        shared.server.sendResponse("requestUCItems", {{"items", QJsonObject{{"uc9", item}}}});
        QTRY_COMPARE(fromPool.loadAcquire(), 5);
        QMutexLocker lock(&itemsMutex);
        QCOMPARE(items, QList<QVariantMap>{item.toVariantMap()});
        lock.unlock();

        MessageCapture capture;
        const CTIMessage page(QByteArray(R"({"type":"response","name":"getAddresses",
            "data":{"bookid":"pool","limit":2,"addresses":{"x1":{},"x2":{}}}})"));
        QThreadPool::globalInstance()->start(new CTIConnectorResponseHandler(page));
        QThreadPool::globalInstance()->waitForDone();
        QCOMPARE(fromPool.loadAcquire(), 7);
        QVERIFY(!capture.contains("getAddresses")); // queued for the connector's thread, not sent yet
        QTRY_COMPARE(shared.sent("getAddresses"), (QList<QJsonObject>{{{"bookid", "pool"}, {"limit", 2}, {"offset", 3}}}));
        shared.connector->stop();
    }
};

QTEST_MAIN(tst_CTIResponses)
#include "tst_ctiresponses.moc"
