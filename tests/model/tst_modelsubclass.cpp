#include "addressbook.h"
#include "addresses.h"
#include "forwardpreset.h"
#include "line.h"
#include "phone.h"
#include "queue.h"
#include "tapiuser.h"
#include "ucitem.h"
#include "user.h"

#include <QtTest>

#include <atomic>
#include <memory>

using Factory = ModelSubclass *(*)();
Q_DECLARE_METATYPE(Factory)

template <typename T>
ModelSubclass *create() { return new T; }

static QVariantMap call(int state, const QString &duration = QStringLiteral("00:01:00"))
{
    return {{"callid", "c-1"}, {"state", state}, {"duration", duration}};
}

class tst_ModelSubclass : public QObject
{
    Q_OBJECT

signals:
    void itemAnnounced(UCItem *item);

public slots:
    // Public, so that QtTest does not run it as a test.
    void take(UCItem *item) { item->setId("taken"); }

private slots:
    void shouldEmitChangedOnlyForRealChange()
    {
        ModelSubclass record("Sample");
        QSignalSpy spy(&record, &ModelSubclass::changed);

        record.setAttribute("key", QVariant());
        QCOMPARE(spy.count(), 1);
        QVERIFY(record.attributes().contains("key"));

        record.setAttribute("key", 5);
        record.setAttribute("key", 5);
        // Qt 5 converts before comparing: equal text is no change, and the number keeps its type.
        record.setAttribute("key", "5");
        QCOMPARE(spy.count(), 2);
        QCOMPARE(record.attributes().value("key").userType(), int(QMetaType::Int));

        record.setAttribute("key", QVariant());
        QCOMPARE(spy.count(), 3);
    }

    void shouldAddAbsentKeySilentlyUnlessTheFallbackHoldsIt()
    {
        ModelSubclass record("Sample");
        record.setFallbackAttributes({{"fallback", 1}, {"own", 1}});
        record.setAttribute("own", 2);
        QSignalSpy spy(&record, &ModelSubclass::changed);

        QCOMPARE(record.attribute("fallback"), QVariant(1));
        QCOMPARE(record.attribute("own"), QVariant(2));
        QCOMPARE(record.attribute("absent"), QVariant());
        // The key now holds an invalid value, so writing one is no change.
        record.setAttribute("absent", QVariant());

        QCOMPARE(record.attributes(), (QVariantMap{{"absent", QVariant()}, {"own", 2}}));
        QCOMPARE(spy.count(), 0);
    }

    // Each change is announced before its value is stored: a direct receiver sees the record as it
    // was, a queued one as it is now.
    void shouldMergeMapKeyByKeyInAscendingOrder()
    {
        ModelSubclass record("Sample");
        record.setAttributes({{"kept", 1}, {"updated", 1}});
        QList<QVariantMap> direct;
        QList<QVariantMap> queued;
        // The record as context: queued calls still pending when it goes are dropped with it.
        connect(&record, &ModelSubclass::changed, &record, [&] { direct << record.attributes(); });
        connect(&record, &ModelSubclass::changed, &record, [&] { queued << record.attributes(); },
                Qt::QueuedConnection);

        record.setAttributes({});
        record.setAttributes({{"zeta", 1}, {"alpha", 1}, {"updated", 2}});

        const QVariantMap before{{"kept", 1}, {"updated", 1}};
        const QVariantMap withAlpha{{"alpha", 1}, {"kept", 1}, {"updated", 1}};
        const QVariantMap updated{{"alpha", 1}, {"kept", 1}, {"updated", 2}};
        QCOMPARE(direct, (QList<QVariantMap>{before, withAlpha, updated}));
        const QVariantMap after{{"alpha", 1}, {"kept", 1}, {"updated", 2}, {"zeta", 1}};
        QTRY_COMPARE(queued, (QList<QVariantMap>{after, after, after}));
    }

    // Without a receiver a fresh record takes the map as it is; the outcome must be the same.
    void shouldTakeIdFromExactIdKeyWithOrWithoutReceiver()
    {
        const QVariantMap map{{"ID", 1}, {"id", 42}};
        ModelSubclass unheard("Sample");
        ModelSubclass listened("Sample");
        QSignalSpy spy(&listened, &ModelSubclass::changed);

        unheard.setAttributes(map);
        listened.setAttributes(map);
        QCOMPARE(unheard.attributes(), map);
        QCOMPARE(listened.attributes(), map);
        QCOMPARE(unheard.id(), QStringLiteral("42"));
        QCOMPARE(listened.id(), QStringLiteral("42"));
        QCOMPARE(spy.count(), map.size());

        // setId leaves the attribute alone; the same map again is no change but sets id() again.
        listened.setId("outer");
        listened.setAttributes({{"Id", "other case"}});
        QCOMPARE(listened.id(), QStringLiteral("outer"));
        listened.setAttributes(map);
        QCOMPARE(listened.id(), QStringLiteral("42"));
        QCOMPARE(spy.count(), map.size() + 1);
    }

    void shouldIdentifyEachRecordType_data()
    {
        QTest::addColumn<Factory>("factory");
        QTest::addColumn<QString>("typeName");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QStringList>("nameKeys");
        const QStringList none;
        const QStringList person{"name", "firstname", "lastname"};
        QTest::newRow("Line") << &create<Line> << "Line" << "Line" << none;
        QTest::newRow("Addressbook") << &create<Addressbook> << "Addressbook" << "Addressbook" << none;
        QTest::newRow("Addresses") << &create<Addresses> << "Addresses" << "Addresses" << none;
        QTest::newRow("TapiUser") << &create<TapiUser> << "TapiUser" << "TapiUser" << person;
        QTest::newRow("ForwardPreset") << &create<ForwardPreset> << "ForwardPreset" << "ModelSubclass" << none;
        QTest::newRow("Phone") << &create<Phone> << "Phones" << "Phone" << none;
        QTest::newRow("Queue") << &create<Queue> << "Queue" << "ModelSubclass" << none;
        QTest::newRow("User") << &create<User> << "User" << "User" << person;
        QTest::newRow("UCItem") << &create<UCItem> << "UCItem" << "ModelSubclass" << none;
    }

    // The slots are reachable by name on every type, and none of them persists anything.
    void shouldIdentifyEachRecordType()
    {
        QFETCH(Factory, factory);
        QFETCH(QString, typeName);
        QFETCH(QString, className);
        QFETCH(QStringList, nameKeys);
        const std::unique_ptr<ModelSubclass> record(factory());
        QByteArray data("picture");
        QByteArray *field = &data;
        bool saved = true;
        bool fieldSaved = true;
        bool deleted = true;

        QVERIFY(QMetaObject::invokeMethod(record.get(), "save", Q_RETURN_ARG(bool, saved)));
        QVERIFY(QMetaObject::invokeMethod(record.get(), "saveBinaryField", Q_RETURN_ARG(bool, fieldSaved),
                                          Q_ARG(QString, "image"), Q_ARG(QByteArray *, &data)));
        QVERIFY(QMetaObject::invokeMethod(record.get(), "getBinaryField", Q_RETURN_ARG(QByteArray *, field),
                                          Q_ARG(QString, "image")));
        QVERIFY(QMetaObject::invokeMethod(record.get(), "deleteModel", Q_RETURN_ARG(bool, deleted)));

        QCOMPARE(record->typeName(), typeName);
        QCOMPARE(record->metaObject()->className(), qPrintable(className));
        const QMetaObject *own = record->metaObject();
        QCOMPARE(own == &ModelSubclass::staticMetaObject ? own : own->superClass(), &ModelSubclass::staticMetaObject);
        QCOMPARE(record->nameKeys(), nameKeys);
        QVERIFY(!saved && !fieldSaved && !deleted);
        QCOMPARE(field, nullptr);
    }

    // Connected by signature text, as a consumer may. Qt 5 queues such pointers even unregistered,
    // so the lookup by name that QVariant and QSignalSpy users need is checked as well.
    void shouldCarryRecordPointersThroughQueuedConnection()
    {
        UCItem item;
        QVERIFY(connect(this, SIGNAL(itemAnnounced(UCItem*)), this, SLOT(take(UCItem*)), Qt::QueuedConnection));

        emit itemAnnounced(&item);

        QTRY_COMPARE(item.id(), QStringLiteral("taken"));
        QVERIFY(QMetaType::type("UCItem*") != QMetaType::UnknownType);
    }

    // "changes" lists the attributes that differ from those of empty line data.
    void shouldConvertLineData_data()
    {
        QTest::addColumn<QVariantMap>("data");
        QTest::addColumn<QVariantMap>("changes");
        QTest::addColumn<QDateTime>("timestamp");
        const QVariantMap none;
        QTest::newRow("empty") << none << none << QDateTime();
        const QVariantMap texts{{"owner_id", 5}, {"callid", "c"}, {"firstname", "f"}, {"lastname", "l"},
                                {"company", "o"}, {"remote_number", "n"}, {"pictureURL", "p"},
                                {"caller_addressbook_id", 8}};
        const QVariantMap renamed{{"owner_id", "5"}, {"callId", "c"}, {"firstName", "f"}, {"lastName", "l"},
                                  {"companyName", "o"}, {"remoteNumber", "n"}, {"pictureUrl", "p"}, {"remoteId", "8"}};
        QTest::newRow("texts") << texts << renamed << QDateTime();
        QTest::newRow("state as text") << QVariantMap{{"state", "3"}} << QVariantMap{{"callState", 3}} << QDateTime();
        QTest::newRow("direction") << QVariantMap{{"direction", 1}} << QVariantMap{{"callDirection", 1}} << QDateTime();
        QTest::newRow("duration") << QVariantMap{{"duration", "01:02:03.250"}}
                                  << QVariantMap{{"callDuration", QTime(1, 2, 3, 250)}} << QDateTime();
        QTest::newRow("duration in seconds") << QVariantMap{{"duration", 60}} << none << QDateTime();
        QTest::newRow("timestamp") << QVariantMap{{"timestamp", "2024-03-01 08:05:09"}} << none
                                   << QDateTime(QDate(2024, 3, 1), QTime(8, 5, 9), Qt::LocalTime);
        QTest::newRow("ISO timestamp") << QVariantMap{{"timestamp", "2024-03-01T08:05:09"}} << none << QDateTime();
    }

    void shouldConvertLineData()
    {
        QFETCH(QVariantMap, data);
        QFETCH(QVariantMap, changes);
        QFETCH(QDateTime, timestamp);
        Line line;
        QSignalSpy spy(&line, &ModelSubclass::changed);

        line.setLineData(data);

        QVariantMap expected{{"owner_id", ""}, {"callId", ""}, {"firstName", ""}, {"lastName", ""},
                             {"companyName", ""}, {"remoteNumber", ""}, {"pictureUrl", ""}, {"remoteId", ""},
                             {"callState", 0}, {"callDirection", 0}, {"callDuration", QTime(0, 0)}};
        expected.insert(changes);
        QCOMPARE(line.attributes(), expected);
        // QVariant equality converts between types, so the types are compared on their own.
        for (const QString &key : expected.keys())
            QVERIFY2(line.attributes().value(key).userType() == expected.value(key).userType(), qPrintable(key));
        QCOMPARE(spy.count(), expected.size());
        QCOMPARE(line.timestamp(), timestamp);
    }

    void shouldCountLineDurationOnlyInStateTwo()
    {
        const std::unique_ptr<Line> line(Line::fromLineData(call(2)));
        const QTimer *timer = line->findChild<QTimer *>();
        QVERIFY(timer);
        QCOMPARE(timer->interval(), 1000);

        line->setLineData(call(1));
        QVERIFY(!timer->isActive());
        line->setLineData({{"state", "2"}});
        QVERIFY(timer->isActive());
        line->setLineData({});
        QVERIFY(!timer->isActive());
    }

    // Repeated line data is no change until ticks have moved the duration away from the server's.
    void shouldTickOneSecondAtATimeUntilLineDataRepeats()
    {
        const std::unique_ptr<Line> line(Line::fromLineData(call(2, "23:59:59")));
        QSignalSpy spy(line.get(), &ModelSubclass::changed);

        line->setLineData(call(2, "23:59:59"));
        QCOMPARE(spy.count(), 0);

        QVERIFY(QMetaObject::invokeMethod(line.get(), "onSecondsTimer"));
        QVERIFY(QMetaObject::invokeMethod(line.get(), "onSecondsTimer"));
        QCOMPARE(line->callDuration(), QTime(0, 0, 1));
        QCOMPARE(spy.count(), 2);

        line->setLineData(call(2, "23:59:59"));
        QCOMPARE(line->callDuration(), QTime(23, 59, 59));
        QCOMPARE(spy.count(), 3);
    }

    // The one real wait: the line's own timer, moved along with the line, ticks on the worker.
    void shouldKeepCountingAfterMovingLineToAnotherThread()
    {
        std::unique_ptr<Line> line(Line::fromLineData(call(2)));
        QThread worker;
        worker.start();
        // Written on the worker and read here, so only through an atomic.
        std::atomic<QThread *> tickThread{nullptr};
        connect(line.get(), &ModelSubclass::changed, line.get(),
                [&] { tickThread = QThread::currentThread(); }, Qt::DirectConnection);

        line->moveToThread(&worker);

        QTRY_COMPARE_WITH_TIMEOUT(tickThread.load(), &worker, 3000);
        // The worker deletes the line as it finishes, as a receiver's deleteLater() would.
        line.release()->deleteLater();
        worker.quit();
        QVERIFY(worker.wait(5000));
    }
};

QTEST_MAIN(tst_ModelSubclass)
#include "tst_modelsubclass.moc"
