#include "connectorfixture.h"
#include "cticonnectorresponsehandler.h"
#include "messagecapture.h"

#include <QDateTime>
#include <QJsonArray>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QtTest>

namespace {

QString stamp(qint64 secondsFromNow)
{
    return QDateTime::currentDateTime().addSecs(secondsFromNow).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QJsonObject lineData(const QString &callId, const QString &timestamp)
{
    return {{QStringLiteral("callid"), callId}, {QStringLiteral("state"), 1}, {QStringLiteral("timestamp"), timestamp}};
}

template <class Record>
QList<Record *> records(const QSignalSpy &spy)
{
    QList<Record *> list;
    for (const QList<QVariant> &arguments : spy)
        list.append(static_cast<Record *>(arguments.first().value<ModelSubclass *>()));
    return list;
}

} // namespace

class tst_CTIResponses : public QObject
{
    Q_OBJECT

private:
    // The pool task announces through the process's one connector: it needs a settings folder
    // from before its creation.
    TestEnvironment sharedEnvironment;

private slots:
    void shouldKeepOnlyLinesOfTheLastEightHours()
    {
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        QSignalSpy opened(fixture.connector, &CTIConnector::lineOpenend);
        fixture.server.sendResponse(QStringLiteral("requestLineStatus"),
                                    {{QStringLiteral("lines"),
                                      QJsonObject{{QStringLiteral("1"), lineData(QStringLiteral("now"), stamp(-60))},
                                                  {QStringLiteral("2"), lineData(QStringLiteral("old"), stamp(-9 * 3600))},
                                                  {QStringLiteral("3"), lineData(QStringLiteral("ahead"), stamp(3600))},
                                                  {QStringLiteral("4"), lineData(QStringLiteral("undated"), QStringLiteral("2026-01-01T10:00:00"))}}}});
        QTRY_COMPARE(opened.count(), 2);
        QCOMPARE(fixture.connector->storedLines().keys(), (QStringList{QStringLiteral("now"), QStringLiteral("undated")}));
        Line *first = fixture.connector->storedLines().value(QStringLiteral("now"));
        QCOMPARE(records<Line>(opened).first(), first);

        fixture.connector->requestLineStatus(); // the demo's lines, one of them stale
        QTRY_VERIFY(opened.count() > 2);
        QVERIFY(fixture.connector->storedLines().value(QStringLiteral("call-4711")));
    }

    void shouldReadABookToTheEndThroughPaging()
    {
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        fixture.server.setBookSize(QStringLiteral("big"), 25000);
        QSet<QString> ids;
        connect(fixture.connector, &CTIConnector::addressAdded, fixture.connector, [&](Addresses *address) {
            ids.insert(address->id());
            delete address;
        });
        MessageCapture quiet; // three pages of JSON in the log
        fixture.connector->requestAddresses(QStringLiteral("big"));
        QTRY_COMPARE_WITH_TIMEOUT(fixture.sent(QStringLiteral("getAddresses")).size(), 3, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(ids.size(), 25000, 20000);
        QList<int> offsets;
        for (const QJsonObject &request : fixture.sent(QStringLiteral("getAddresses")))
            offsets.append(request.value(QLatin1String("offset")).toInt());
        QCOMPARE(offsets, (QList<int>{0, 10001, 20001}));
        QTest::qWait(50);
        QCOMPARE(fixture.sent(QStringLiteral("getAddresses")).size(), 3);
    }

    void shouldAskForTheNextPageOnlyAfterAFullOne_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("members");
        QTest::addColumn<QString>("bookId");
        QTest::addColumn<int>("followUpOffset");
        QTest::newRow("full page") << 3 << 3 << "b" << 7;
        QTest::newRow("short page") << 3 << 2 << "b" << -1;
        QTest::newRow("full page without book") << 3 << 3 << "" << -1;
        QTest::newRow("limit 0 and no members") << 0 << 0 << "b" << -1;
    }

    void shouldAskForTheNextPageOnlyAfterAFullOne()
    {
        QFETCH(int, limit);
        QFETCH(int, members);
        QFETCH(QString, bookId);
        QFETCH(int, followUpOffset);
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        QSignalSpy added(fixture.connector, &CTIConnector::addressAdded);
        QJsonObject addresses;
        for (int i = 0; i < members; ++i)
            addresses.insert(QStringLiteral("a%1").arg(i), QJsonObject{{QStringLiteral("id"), QStringLiteral("inner%1").arg(i)}});
        fixture.server.setAnswering(false);
        fixture.server.sendResponse(QStringLiteral("getAddresses"),
                                    {{QStringLiteral("addresses"), addresses}, {QStringLiteral("limit"), limit},
                                     {QStringLiteral("offset"), 3}, {QStringLiteral("bookid"), bookId}});
        // Responses are handled in order and a follow-up is written inside the handler: once the
        // next response is handled, a command sent now travels behind any follow-up.
        QSignalSpy handled(fixture.connector, &CTIConnector::contactTypesAvailable);
        fixture.server.sendResponse(QStringLiteral("getContactTypes"), {});
        QVERIFY(handled.wait(2000));
        fixture.connector->requestLineStatus();
        QTRY_COMPARE(fixture.sent(QStringLiteral("requestLineStatus")).size(), 1);
        QCOMPARE(added.count(), members);
        if (members > 0) {
            QCOMPARE(records<Addresses>(added).first()->id(), QStringLiteral("a0"));
            QCOMPARE(records<Addresses>(added).first()->attribute(QStringLiteral("id")).toString(), QStringLiteral("inner0"));
        }
        const QList<QJsonObject> followUps = fixture.sent(QStringLiteral("getAddresses"));
        QCOMPARE(followUps.size(), followUpOffset < 0 ? 0 : 1);
        if (followUpOffset >= 0) {
            QCOMPARE(followUps.first(), (QJsonObject{{QStringLiteral("bookid"), bookId}, {QStringLiteral("limit"), limit},
                                                     {QStringLiteral("offset"), followUpOffset}}));
        }
    }

    void shouldKeepTheServersValueTypesInRecords()
    {
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        QSignalSpy added(fixture.connector, &CTIConnector::addressAdded);
        const QJsonObject entry{{QStringLiteral("name"), QStringLiteral("Amalie")}, {QStringLiteral("floor"), 3},
                                {QStringLiteral("vip"), true}, {QStringLiteral("fax"), QJsonValue::Null},
                                {QStringLiteral("tags"), QJsonArray{QStringLiteral("a"), 1}},
                                {QStringLiteral("home"), QJsonObject{{QStringLiteral("city"), QStringLiteral("Köln")}}}};
        fixture.server.setAnswering(false);
        fixture.server.sendResponse(QStringLiteral("getAddresses"),
                                    {{QStringLiteral("addresses"), QJsonObject{{QStringLiteral("a1"), entry}, {QStringLiteral("a2"), entry}}},
                                     {QStringLiteral("limit"), 10}});
        QTRY_COMPARE(added.count(), 2);
        for (Addresses *address : records<Addresses>(added))
            QCOMPARE(address->attributes(), entry.toVariantMap());
    }

    void shouldAddABuddyOnceAndReportItsSecondGroupAsChange()
    {
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        QSignalSpy added(fixture.connector, &CTIConnector::jabberBuddyAdded);
        QSignalSpy changed(fixture.connector, &CTIConnector::jabberBuddyChanged);
        fixture.connector->requestJabberBuddies(); // u204 stands in both demo groups
        QTRY_COMPARE(added.count(), 5);
        QCOMPARE(changed.count(), 1);
        User *second = records<User>(changed).first();
        QCOMPARE(second->id(), QStringLiteral("u204"));
        QVERIFY(fixture.connector->storedBuddies().value(QStringLiteral("u204")) != second);
        QCOMPARE(fixture.connector->storedBuddies().size(), 5);
    }

    void shouldAppendTapiUsersOnEveryAnswer()
    {
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        QSignalSpy success(fixture.connector, &CTIConnector::loginSuccessSignal);
        fixture.connector->requestTapiUsers();
        QTRY_COMPARE(success.count(), 1);
        const int first = fixture.connector->storedTapiUsers().size();
        QVERIFY(first > 0);
        fixture.connector->requestTapiUsers();
        QTRY_COMPARE(success.count(), 2);
        QCOMPARE(fixture.connector->storedTapiUsers().size(), 2 * first);
    }

    void shouldReadThePhoneConfiguration()
    {
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        QSignalSpy presets(fixture.connector, &CTIConnector::forwardPresetAdded);
        QSignalSpy active(fixture.connector, &CTIConnector::activeForwardPresetChanged);
        QSignalSpy prefix(fixture.connector, &CTIConnector::dialPrefixChanged);
        QSignalSpy phones(fixture.connector, &CTIConnector::phoneAdded);
        QSignalSpy queues(fixture.connector, &CTIConnector::queueAdded);
        fixture.connector->requestPhoneConfig();
        QTRY_COMPARE(queues.count(), 2);
        QCOMPARE(presets.count(), 4);
        QCOMPARE(active.first().first().toString(), QStringLiteral("none"));
        QCOMPARE(prefix.first().first().toString(), QStringLiteral("0"));
        QCOMPARE(phones.count(), 3);
        QCOMPARE(fixture.connector->storedPhones().keys(), (QStringList{"p1", "p2", "p3"}));
        QCOMPARE(fixture.connector->storedQueues().value(QStringLiteral("q1")), records<Queue>(queues).first());
        QVERIFY(fixture.connector->isCtiAnswerSupported());

        fixture.server.setReply(QStringLiteral("requestPhoneConfig"), QJsonObject());
        fixture.connector->requestPhoneConfig();
        QTRY_COMPARE(prefix.count(), 2);
        QCOMPARE(active.last().first().toString(), QString());
        QCOMPARE(prefix.last().first().toString(), QString());
        QCOMPARE(phones.count(), 3);
        QVERIFY(!fixture.connector->isCtiAnswerSupported());
    }

    void shouldDeliverPicturesAndDirectoryChanges()
    {
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        QSignalSpy pictures(fixture.connector, &CTIConnector::addressPictureAvailable);
        fixture.connector->requestAddressPicture(QStringLiteral("10001"));
        fixture.connector->requestAddressPicture(QStringLiteral("10002")); // has none
        QTRY_COMPARE(pictures.count(), 2);
        QVERIFY(!pictures.at(0).at(0).value<QPixmap>().isNull());
        QCOMPARE(pictures.at(0).at(1).toString(), QStringLiteral("10001"));
        QVERIFY(pictures.at(1).at(0).value<QPixmap>().isNull());

        QSignalSpy saved(fixture.connector, &CTIConnector::addressSaved);
        QSignalSpy deleted(fixture.connector, &CTIConnector::addressDeleted);
        QSignalSpy pictureSet(fixture.connector, &CTIConnector::addressPictureSet);
        QSignalSpy types(fixture.connector, &CTIConnector::contactTypesAvailable);
        fixture.server.setAnswering(false);
        fixture.server.sendResponse(QStringLiteral("saveAddress"),
                                    {{QStringLiteral("id"), QStringLiteral("a5")},
                                     {QStringLiteral("address"), QJsonObject{{QStringLiteral("image_460"), QStringLiteral("L")},
                                                                             {QStringLiteral("image_80"), QStringLiteral("M")},
                                                                             {QStringLiteral("image_40"), QStringLiteral("S")},
                                                                             {QStringLiteral("id"), QStringLiteral("inner")}}}});
        for (const QString &id : {QString(), QStringLiteral("a5")}) {
            fixture.server.sendResponse(QStringLiteral("deleteAddress"), {{QStringLiteral("id"), id}});
            fixture.server.sendResponse(QStringLiteral("setAddressPicture"), {{QStringLiteral("id"), id}});
            fixture.server.sendResponse(QStringLiteral("getAddressPicture"), {{QStringLiteral("id"), id}});
        }
        fixture.server.sendResponse(QStringLiteral("getContactTypes"), {});
        QTRY_COMPARE(types.count(), 1);
        QCOMPARE(types.first().first().toStringList(), QStringList());
        Addresses *address = records<Addresses>(saved).first();
        QCOMPARE(address->id(), QStringLiteral("a5"));
        QCOMPARE(address->attributes().keys(), (QStringList{"id", "image_40", "image_80"}));
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(pictureSet.count(), 1);
        QCOMPARE(pictures.count(), 3);
        QVERIFY(pictures.last().at(0).value<QPixmap>().isNull());
    }

    void shouldAnnounceUCItemsFromAPoolThreadLivingOnTheConnectorsThread()
    {
        ConnectorFixture fixture(CTIConnector::instance());
        QVERIFY(fixture.login());
        // Filled on the pool thread: read only after waitForDone(), counted through an atomic.
        QList<QThread *> emitters;
        QList<UCItem *> items;
        QAtomicInt announced;
        connect(fixture.connector, &CTIConnector::ucItemAdded, fixture.connector, [&](UCItem *item) {
            emitters.append(QThread::currentThread());
            items.append(item);
            announced.fetchAndAddRelease(1);
        }, Qt::DirectConnection);
        fixture.connector->requestUCItems();
        QTRY_COMPARE(announced.loadAcquire(), 4);
        QThreadPool::globalInstance()->waitForDone();
        for (int i = 0; i < items.size(); ++i) {
            QVERIFY(emitters.at(i) != fixture.connector->thread());
            QCOMPARE(items.at(i)->thread(), fixture.connector->thread());
        }
        QCOMPARE(items.first()->id(), QStringLiteral("uc-01"));
        fixture.connector->stop();
    }

    void shouldSendFollowUpPagesOfAPoolTaskFromTheConnectorsThread()
    {
        ConnectorFixture fixture(CTIConnector::instance());
        QVERIFY(fixture.login());
        QSignalSpy added(fixture.connector, &CTIConnector::addressAdded);
        fixture.server.setBookSize(QStringLiteral("pool"), 5);
        CTIMessage page(QByteArray(R"({"type":"response","name":"getAddresses","data":{
            "bookid":"pool","limit":2,"offset":0,"addresses":{"x1":{},"x2":{}}}})"));
        QThreadPool::globalInstance()->start(new CTIConnectorResponseHandler(page));
        QTRY_COMPARE(fixture.sent(QStringLiteral("getAddresses")).size(), 2);
        QThreadPool::globalInstance()->waitForDone(); // the spy was filled on the pool thread too
        QVERIFY(added.count() >= 2);
        QCOMPARE(fixture.sent(QStringLiteral("getAddresses")).first().value(QLatin1String("offset")).toInt(), 3);
        QCOMPARE(records<Addresses>(added).first()->thread(), fixture.connector->thread());
        fixture.connector->stop();
    }
};

QTEST_MAIN(tst_CTIResponses)
#include "tst_ctiresponses.moc"
