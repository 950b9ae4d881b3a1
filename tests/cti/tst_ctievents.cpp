#include "connectorfixture.h"
#include "messagecapture.h"

#include <QJsonArray>
#include <QtTest>

class tst_CTIEvents : public QObject
{
    Q_OBJECT

    std::unique_ptr<ConnectorFixture> fixture;

    void push(const QString &name, const QJsonObject &data)
    {
        fixture->server.sendEvent(name, data);
        // Frames are handled in order: once the marker's answer is in, the event was handled.
        QSignalSpy handled(fixture->connector, &CTIConnector::addressPictureSet);
        fixture->server.sendResponse("setAddressPicture", {{"id", "marker"}});
        QVERIFY(handled.wait(2000));
    }

private slots:
    void init()
    {
        fixture = std::make_unique<ConnectorFixture>();
        QVERIFY(fixture->login());
    }

    void cleanup() { fixture.reset(); }

    void shouldPassOnWhatNoStoreKeeps()
    {
        QSignalSpy lineChanged(fixture->connector, &CTIConnector::lineChanged);
        QSignalSpy added(fixture->connector, &CTIConnector::addressAdded);
        QSignalSpy deleted(fixture->connector, &CTIConnector::addressDeleted);
        QSignalSpy active(fixture->connector, &CTIConnector::activeForwardPresetChanged);
        const QJsonObject line{{"callid", "c9"}, {"state", 2}};
        const QJsonObject inner{{"id", "inner"}, {"lastname", "Moos"}};
        QVERIFY(fixture->server.pushEvent("updateLineStatus")); // the demo's own
        push("PhoneChanged", {{"phone", QJsonObject{{"id", "x"}}}}); // names are case-sensitive
        push("lineOpened", {{"callid", "c"}}); // no such event
        push("updateLineStatus", line);
        push("addressAdded", {{"id", "a1"}, {"address", inner}});
        push("addressChanged", {{"address", inner}});
        push("addressDeleted", {{"id", ""}});
        push("addressDeleted", {{"id", "a1"}});
        push("phoneConfigChanged", {{"activeForwardPreset", "mobile"}, {"dialprefix", "9"}});
        QCOMPARE(lineChanged.last(), QVariantList{line.toVariantMap()});
        QCOMPARE((QList<qsizetype>{lineChanged.count(), added.count()}), (QList<qsizetype>{2, 2})); // the demo's line too
        QVERIFY(fixture->connector->storedLines().isEmpty());
        QVERIFY(fixture->connector->storedPhones().isEmpty());
        const auto address = [&](int index) { return added.at(index).first().value<Addresses *>(); };
        QCOMPARE(address(0)->id(), QString("a1"));
        QCOMPARE(address(0)->attribute("id"), QVariant("inner"));
        QCOMPARE(address(1)->id(), QString());
        QCOMPARE(deleted, (QList<QVariantList>{{"a1"}}));
        QCOMPARE(active, (QList<QVariantList>{{"mobile"}}));
    }

    void shouldUpdateTheStoredRecords()
    {
        fixture->connector->requestJabberBuddies();
        QTRY_COMPARE(fixture->connector->storedBuddies().size(), 5);
        User *buddy = fixture->connector->storedBuddies().value("u202");
        QSignalSpy buddyRecordChanged(buddy, &ModelSubclass::changed);
        QSignalSpy buddyChanged(fixture->connector, &CTIConnector::jabberBuddyChanged);
        push("updateUserPresence", {{"id", "nobody"}, {"presence", "away"}});
        push("updateUserPresence", {{"id", "u202"}, {"presence", "available"}, {"note", "Messe"}}); // presence as stored: only the new key changes
        QCOMPARE(buddyChanged, (QList<QVariantList>{{QVariant::fromValue(buddy)}}));
        QCOMPARE(buddy->attribute("note"), QVariant("Messe"));
        QCOMPARE((QList<qsizetype>{buddyRecordChanged.count(), fixture->connector->storedBuddies().size()}), (QList<qsizetype>{1, 5}));

        QSignalSpy queueChanged(fixture->connector, &CTIConnector::queueChanged);
        fixture->server.clearReceived();
        QVERIFY(fixture->server.pushEvent("queueChanged")); // the demo's own: q1 logs in or out
        push("queueChanged", {{"queue", QJsonObject{{"id", "q1"}, {"waiting", 3}}}});
        Queue *queue = fixture->connector->storedQueues().value("q1");
        QCOMPARE(queueChanged, (QList<QVariantList>{{QVariant::fromValue(queue)}, {QVariant::fromValue(queue)}}));
        QCOMPARE(queue->attribute("waiting"), QVariant(3));

        QSignalSpy phoneChanged(fixture->connector, &CTIConnector::phoneChanged);
        QSignalSpy phoneAdded(fixture->connector, &CTIConnector::phoneAdded);
        push("phoneChanged", {{"phone", QJsonObject{{"id", "p2"}, {"loggedin", true}}}});
        Phone *unknown = fixture->connector->storedPhones().value("p2");
        QCOMPARE(phoneChanged, (QList<QVariantList>{{QVariant::fromValue(unknown)}}));
        QTRY_COMPARE(phoneAdded.count(), 3); // the configuration's answer announces every phone again
        QCOMPARE(fixture->server.received().size(), 1); // its request alone: queue changes ask for nothing
        QVERIFY(fixture->connector->storedPhones().value("p2") != unknown);
        Phone *known = fixture->connector->storedPhones().value("p1");
        push("phoneChanged", {{"phone", QJsonObject{{"id", "p1"}, {"name", "Neu"}}}});
        QCOMPARE(phoneChanged.last(), QVariantList{QVariant::fromValue(known)});
        QCOMPARE(known->attribute("name"), QVariant("Neu"));
        QVERIFY(known->attribute("number").isValid());

        // Without a phone one is stored and announced under the empty id; with the socket closed
        // the configuration request is dropped, not the signal.
        fixture->connector->stop();
        MessageCapture capture;
        CTIMessage event(QByteArray(R"({"type":"event","name":"phoneChanged","data":{}})"));
        fixture->connector->handleEvent(event);
        QVERIFY(fixture->connector->storedPhones().value(QString()));
        QCOMPARE(phoneChanged.last(), QVariantList{QVariant::fromValue(fixture->connector->storedPhones().value(QString()))});
        QVERIFY(capture.contains("websocket not open"));
    }
};

QTEST_MAIN(tst_CTIEvents)
#include "tst_ctievents.moc"
