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

template <typename T> ModelSubclass *create() { return new T; }

class tst_ModelSubclass : public QObject
{
    Q_OBJECT

private slots:
    // Qt 5 converts before comparing: equal text is no change, and the number keeps its type.
    // attribute() adds a key it finds neither in the record nor in the fallback, silently.
    void shouldEmitChangedOnlyForRealChange()
    {
        ModelSubclass record("Sample");
        record.setFallbackAttributes({{"fallback", 1}, {"key", 1}});
        QSignalSpy spy(&record, &ModelSubclass::changed);

        record.setAttribute("key", QVariant());
        record.setAttribute("key", 5);
        record.setAttribute("key", "5");
        QCOMPARE(record.attributes().value("key").userType(), int(QMetaType::Int));

        QCOMPARE(record.attribute("key"), QVariant(5));
        QCOMPARE(record.attribute("fallback"), QVariant(1));
        QCOMPARE(record.attribute("absent"), QVariant());
        // The key now holds an invalid value, so writing one is no change.
        record.setAttribute("absent", QVariant());
        QCOMPARE(record.attributes(), (QVariantMap{{"absent", QVariant()}, {"key", 5}}));
        QCOMPARE(spy.count(), 2);
    }

    // Each change is announced before its value is stored: a direct receiver sees the record as it
    // was, a queued one as it is now.
    void shouldMergeMapKeyByKeyInAscendingOrder()
    {
        ModelSubclass record("Sample");
        record.setAttributes({{"kept", 1}, {"updated", 1}});
        QList<QVariantMap> direct, queued;
        // The record as context: queued calls still pending when it goes are dropped with it.
        connect(&record, &ModelSubclass::changed, &record, [&] { direct << record.attributes(); });
        connect(&record, &ModelSubclass::changed, &record, [&] { queued << record.attributes(); }, Qt::QueuedConnection);

        record.setAttributes({{"zeta", 1}, {"alpha", 1}, {"updated", 2}});

        QCOMPARE(direct, (QList<QVariantMap>{{{"kept", 1}, {"updated", 1}}, {{"alpha", 1}, {"kept", 1}, {"updated", 1}},
                                             {{"alpha", 1}, {"kept", 1}, {"updated", 2}}}));
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
        QVERIFY(unheard.attributes() == map && listened.attributes() == map && unheard.id() == "42" && listened.id() == "42");

        // setId leaves the attribute alone; the same map again is no change but sets id() again.
        listened.setId("outer");
        listened.setAttributes({{"Id", "other case"}});
        QCOMPARE(listened.id(), "outer");
        listened.setAttributes(map);
        QCOMPARE(listened.id(), "42");
        QCOMPARE(spy.count(), map.size() + 1);
    }

    void shouldIdentifyEachRecordType_data()
    {
        QTest::addColumn<Factory>("factory");
        QTest::addColumn<QString>("names");
        QTest::addColumn<bool>("person");
        QTest::newRow("Line") << &create<Line> << "Line: Line ModelSubclass" << false;
        QTest::newRow("Addressbook") << &create<Addressbook> << "Addressbook: Addressbook ModelSubclass" << false;
        QTest::newRow("Addresses") << &create<Addresses> << "Addresses: Addresses ModelSubclass" << false;
        QTest::newRow("TapiUser") << &create<TapiUser> << "TapiUser: TapiUser ModelSubclass" << true;
        QTest::newRow("ForwardPreset") << &create<ForwardPreset> << "ForwardPreset: ModelSubclass QObject" << false;
        QTest::newRow("Phone") << &create<Phone> << "Phones: Phone ModelSubclass" << false;
        QTest::newRow("Queue") << &create<Queue> << "Queue: ModelSubclass QObject" << false;
        QTest::newRow("User") << &create<User> << "User: User ModelSubclass" << true;
        QTest::newRow("UCItem") << &create<UCItem> << "UCItem: ModelSubclass QObject" << false;
    }

    // "names": the type name, then the class name and its superclass; "person": named by a person's
    // name keys. The slots are reachable by name on every type, and saving persists nothing. Creating
    // a record registers its pointer type by name, as QVariant and QSignalSpy users need.
    void shouldIdentifyEachRecordType()
    {
        QFETCH(Factory, factory);
        QFETCH(QString, names);
        QFETCH(bool, person);
        const std::unique_ptr<ModelSubclass> record(factory());
        bool saved = true;
        QVERIFY(QMetaObject::invokeMethod(record.get(), "save", Q_RETURN_ARG(bool, saved)));
        QVERIFY(!saved);

        const QMetaObject *meta = record->metaObject();
        QCOMPARE(record->typeName() + ": " + meta->className() + ' ' + meta->superClass()->className(), names);
        QCOMPARE(record->nameKeys(), (person ? QStringList{"name", "firstname", "lastname"} : QStringList()));
        const QByteArray pointerType = QTest::currentDataTag() + QByteArray("*");
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        QVERIFY(QMetaType::fromName(pointerType).isValid());
#else
        QVERIFY(QMetaType::type(pointerType) != QMetaType::UnknownType);
#endif
    }

    void shouldConvertLineData()
    {
        // Even an empty map gives the line its whole attribute set, under its own names and types.
        Line line;
        line.setLineData({});
        const QVariantMap empty{{"owner_id", ""}, {"callId", ""}, {"firstName", ""}, {"lastName", ""}, {"companyName", ""},
                                {"remoteNumber", ""}, {"pictureUrl", ""}, {"remoteId", ""}, {"callState", 0},
                                {"callDirection", 0}, {"callDuration", QTime(0, 0)}};
        QCOMPARE(line.attributes(), empty);

        line.setLineData({{"owner_id", 5}, {"callid", "c"}, {"firstname", "f"}, {"lastname", "l"}, {"company", "o"},
                          {"remote_number", "n"}, {"pictureURL", "p"}, {"caller_addressbook_id", 8}, {"state", "3"},
                          {"direction", 1}, {"duration", "01:02:03.250"}, {"timestamp", "2024-03-01 08:05:09"}});
        const QVariantMap full{{"owner_id", "5"}, {"callId", "c"}, {"firstName", "f"}, {"lastName", "l"}, {"companyName", "o"},
                               {"remoteNumber", "n"}, {"pictureUrl", "p"}, {"remoteId", "8"}, {"callState", 3},
                               {"callDirection", 1}, {"callDuration", QTime(1, 2, 3, 250)}};
        QCOMPARE(line.attributes(), full);
        // QVariant equality converts between types, so the types are compared on their own.
        for (const QString &key : full.keys())
            QVERIFY2(line.attributes().value(key).userType() == full.value(key).userType(), qPrintable(key));
        QCOMPARE(line.timestamp(), QDateTime(QDate(2024, 3, 1), QTime(8, 5, 9), Qt::LocalTime));

        // Only a time text counts as a duration, and only one form as a timestamp.
        line.setLineData({{"duration", 60}, {"timestamp", "2024-03-01T08:05:09"}});
        QCOMPARE(line.callDuration(), QTime(0, 0));
        QVERIFY(!line.timestamp().isValid());
    }

    // Ticks come by name, as the timer's would. Repeated line data is no change until ticks have moved
    // the duration away from the server's; then the server's replaces the counted one. The one real
    // wait: the line's own timer, moved along with the line, ticks on the worker.
    void shouldCountTheDurationOnlyInStateTwoOnTheLinesThread()
    {
        const QVariantMap counting{{"state", 2}, {"duration", "23:59:59"}};
        std::unique_ptr<Line> line(Line::fromLineData(counting));
        const QTimer *timer = line->findChild<QTimer *>();
        QVERIFY(timer && timer->isActive() && timer->interval() == 1000);
        QSignalSpy spy(line.get(), &ModelSubclass::changed);

        line->setLineData(counting);
        QVERIFY(QMetaObject::invokeMethod(line.get(), "onSecondsTimer"));
        QVERIFY(QMetaObject::invokeMethod(line.get(), "onSecondsTimer"));
        QCOMPARE(line->callDuration(), QTime(0, 0, 1));
        line->setLineData(counting);
        QCOMPARE(line->callDuration(), QTime(23, 59, 59));
        // Nothing for the repeated data, one change per tick and one for the server's duration.
        QCOMPARE(spy.count(), 3);
        line->setLineData({{"state", 1}});
        QVERIFY(!timer->isActive());

        line->setLineData(counting);
        QThread worker;
        worker.start();
        // Written on the worker and read here, so only through an atomic.
        std::atomic<QThread *> tickThread{nullptr};
        connect(line.get(), &ModelSubclass::changed, line.get(), [&] { tickThread = QThread::currentThread(); });
        line->moveToThread(&worker);
        // Polled without running this thread's event loop, so that only a timer on the worker can tick.
        for (int wait = 0; wait < 300 && tickThread.load() != &worker; ++wait)
            QThread::msleep(10);
        QCOMPARE(tickThread.load(), &worker);
        // The worker deletes the line as it finishes, as a receiver's deleteLater() would.
        line.release()->deleteLater();
        worker.quit();
        QVERIFY(worker.wait(5000));
    }
};

QTEST_MAIN(tst_ModelSubclass)
#include "tst_modelsubclass.moc"
