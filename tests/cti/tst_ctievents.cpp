#include "connectorfixture.h"

#include <QJsonArray>
#include <QtTest>

namespace {

template <class Record>
Record *record(const QSignalSpy &spy, int index = 0)
{
    return static_cast<Record *>(spy.at(index).first().value<ModelSubclass *>());
}

} // namespace

class tst_CTIEvents : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ConnectorFixture> fixture;

    void push(const QString &name, const QJsonObject &data)
    {
        fixture->server.sendEvent(name, data);
        // Frames arrive in order: once the marker's answer is in, the event was handled.
        QSignalSpy types(fixture->connector, &CTIConnector::contactTypesAvailable);
        fixture->server.sendResponse(QStringLiteral("getContactTypes"), {});
        QVERIFY(types.wait(2000));
    }

private slots:
    void init()
    {
        fixture = std::make_unique<ConnectorFixture>();
        QVERIFY(fixture->login());
    }

    void cleanup() { fixture.reset(); }

    void shouldUpdateOnlyKnownBuddies()
    {
        QSignalSpy added(fixture->connector, &CTIConnector::jabberBuddyAdded);
        fixture->connector->requestJabberBuddies();
        QTRY_COMPARE(added.count(), 5);
        User *stored = fixture->connector->storedBuddies().value(QStringLiteral("u202"));
        const QVariantMap before = stored->attributes();
        QSignalSpy recordChanged(stored, &ModelSubclass::changed);
        QSignalSpy changed(fixture->connector, &CTIConnector::jabberBuddyChanged);

        push(QStringLiteral("updateUserPresence"), {{QStringLiteral("id"), QStringLiteral("u202")},
                                                    {QStringLiteral("presence"), QStringLiteral("busy-test")}});
        QCOMPARE(changed.count(), 1);
        QCOMPARE(record<User>(changed), stored);
        QCOMPARE(recordChanged.count(), 1);
        QCOMPARE(stored->attribute(QStringLiteral("presence")).toString(), QStringLiteral("busy-test"));
        QCOMPARE(stored->attributes().size(), before.size() + (before.contains(QStringLiteral("presence")) ? 0 : 1));

        push(QStringLiteral("updateUserPresence"), {{QStringLiteral("id"), QStringLiteral("nobody")},
                                                    {QStringLiteral("presence"), QStringLiteral("away")}});
        QCOMPARE(changed.count(), 1);
        QCOMPARE(fixture->connector->storedBuddies().size(), 5);
    }

    void shouldForwardLineChangesWithoutTouchingTheLines()
    {
        QSignalSpy lineChanged(fixture->connector, &CTIConnector::lineChanged);
        const QJsonObject data{{QStringLiteral("callid"), QStringLiteral("c9")}, {QStringLiteral("state"), 2}};
        push(QStringLiteral("updateLineStatus"), data);
        QCOMPARE(lineChanged.count(), 1);
        QCOMPARE(lineChanged.first().first().toMap(), data.toVariantMap());
        QVERIFY(fixture->connector->storedLines().isEmpty());
    }

    void shouldAnnounceNewAndChangedAddressesAlike()
    {
        QSignalSpy added(fixture->connector, &CTIConnector::addressAdded);
        QSignalSpy deleted(fixture->connector, &CTIConnector::addressDeleted);
        const QJsonObject address{{QStringLiteral("id"), QStringLiteral("inner")}, {QStringLiteral("lastname"), QStringLiteral("Moos")}};
        push(QStringLiteral("addressAdded"), {{QStringLiteral("id"), QStringLiteral("a1")}, {QStringLiteral("address"), address}});
        push(QStringLiteral("addressChanged"), {{QStringLiteral("address"), address}});
        push(QStringLiteral("addressDeleted"), {{QStringLiteral("id"), QString()}});
        push(QStringLiteral("addressDeleted"), {{QStringLiteral("id"), QStringLiteral("a1")}});
        QCOMPARE(added.count(), 2);
        QCOMPARE(record<Addresses>(added, 0)->id(), QStringLiteral("a1"));
        QCOMPARE(record<Addresses>(added, 0)->attribute(QStringLiteral("id")).toString(), QStringLiteral("inner"));
        QCOMPARE(record<Addresses>(added, 1)->id(), QString());
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(deleted.first().first().toString(), QStringLiteral("a1"));
    }

    void shouldPassOnContactTypesAndTheActivePreset()
    {
        QSignalSpy types(fixture->connector, &CTIConnector::contactTypesAvailable);
        QSignalSpy active(fixture->connector, &CTIConnector::activeForwardPresetChanged);
        fixture->server.sendEvent(QStringLiteral("contactTypesChanged"),
                                  {{QStringLiteral("ContactTypes"), QJsonArray{QStringLiteral("Kunde"), QStringLiteral("Privat")}}});
        push(QStringLiteral("phoneConfigChanged"), {{QStringLiteral("activeForwardPreset"), QStringLiteral("mobile")},
                                                    {QStringLiteral("dialprefix"), QStringLiteral("9")}});
        QCOMPARE(types.first().first().toStringList(), (QStringList{"Kunde", "Privat"}));
        QCOMPARE(active.count(), 1);
        QCOMPARE(active.first().first().toString(), QStringLiteral("mobile"));
    }

    void shouldStoreAnUnknownPhoneAndAskForTheConfiguration()
    {
        QSignalSpy phoneChanged(fixture->connector, &CTIConnector::phoneChanged);
        QSignalSpy phoneAdded(fixture->connector, &CTIConnector::phoneAdded);
        fixture->server.clearReceived();
        push(QStringLiteral("phoneChanged"), {{QStringLiteral("phone"), QJsonObject{{QStringLiteral("id"), QStringLiteral("p2")},
                                                                                    {QStringLiteral("loggedin"), true}}}});
        QCOMPARE(phoneChanged.count(), 1);
        Phone *announced = record<Phone>(phoneChanged);
        QCOMPARE(announced->id(), QStringLiteral("p2"));
        QTRY_COMPARE(phoneAdded.count(), 3); // the configuration's answer announces every phone again
        QCOMPARE(fixture->sent(QStringLiteral("requestPhoneConfig")).size(), 1);
        QVERIFY(fixture->connector->storedPhones().value(QStringLiteral("p2")) != announced);

        Phone *stored = fixture->connector->storedPhones().value(QStringLiteral("p1"));
        push(QStringLiteral("phoneChanged"), {{QStringLiteral("phone"), QJsonObject{{QStringLiteral("id"), QStringLiteral("p1")},
                                                                                    {QStringLiteral("name"), QStringLiteral("Neu")}}}});
        QCOMPARE(record<Phone>(phoneChanged, 1), stored);
        QCOMPARE(stored->attribute(QStringLiteral("name")).toString(), QStringLiteral("Neu"));
        QVERIFY(stored->attribute(QStringLiteral("number")).isValid());
    }

    void shouldUpdateQueuesWithoutAskingTheServer()
    {
        QSignalSpy queueChanged(fixture->connector, &CTIConnector::queueChanged);
        fixture->server.clearReceived();
        push(QStringLiteral("queueChanged"), {{QStringLiteral("queue"), QJsonObject{{QStringLiteral("id"), QStringLiteral("q7")}}}});
        push(QStringLiteral("queueChanged"), {{QStringLiteral("queue"), QJsonObject{{QStringLiteral("id"), QStringLiteral("q7")},
                                                                                    {QStringLiteral("waiting"), 3}}}});
        QCOMPARE(queueChanged.count(), 2);
        QCOMPARE(record<Queue>(queueChanged, 0), record<Queue>(queueChanged, 1));
        QCOMPARE(fixture->connector->storedQueues().keys(), QStringList{QStringLiteral("q7")});
        QCOMPARE(fixture->server.received().size(), 0);
    }

    void shouldIgnoreUnknownEvents()
    {
        QSignalSpy anyAddress(fixture->connector, &CTIConnector::addressAdded);
        QSignalSpy anyLine(fixture->connector, &CTIConnector::lineChanged);
        QSignalSpy anyPhone(fixture->connector, &CTIConnector::phoneChanged);
        push(QStringLiteral("PhoneChanged"), {{QStringLiteral("phone"), QJsonObject{{QStringLiteral("id"), QStringLiteral("x")}}}});
        push(QStringLiteral("lineOpened"), {{QStringLiteral("callid"), QStringLiteral("c")}});
        QCOMPARE(anyAddress.count() + anyLine.count() + anyPhone.count(), 0);
        QVERIFY(fixture->connector->storedPhones().isEmpty());
    }

    void shouldHandleTheDemoServersOwnEvents()
    {
        QSignalSpy lineChanged(fixture->connector, &CTIConnector::lineChanged);
        QSignalSpy queueChanged(fixture->connector, &CTIConnector::queueChanged);
        QVERIFY(fixture->server.pushEvent(QStringLiteral("updateLineStatus")));
        QVERIFY(fixture->server.pushEvent(QStringLiteral("queueChanged")));
        QTRY_COMPARE(queueChanged.count(), 1);
        QCOMPARE(lineChanged.count(), 1);
        QVERIFY(!lineChanged.first().first().toMap().value(QStringLiteral("callid")).toString().isEmpty());
    }
};

QTEST_MAIN(tst_CTIEvents)
#include "tst_ctievents.moc"
