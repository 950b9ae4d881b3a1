#include "connectorfixture.h"

#include <QImage>
#include <QtTest>

#include <functional>

using Call = std::function<void(CTIConnector *)>;
Q_DECLARE_METATYPE(Call)

class tst_CTICommands : public QObject
{
    Q_OBJECT

    // One command frame as the server receives it, apart from its random uuid.
    static QList<QJsonObject> command(const QString &name, const QJsonObject &data = {})
    {
        return {{{"type", "command"}, {"name", name}, {"data", data}}};
    }

    // Calls the slot with each text in turn.
    static Call calling(const std::function<void(CTIConnector *, QString)> &slot, const QStringList &arguments)
    {
        return [=](CTIConnector *c) {
            for (const QString &argument : arguments)
                slot(c, argument);
        };
    }

private slots:
    void shouldSendEachCommandAsTheServerExpects_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QList<QJsonObject>>("frames");
        const QJsonObject p1{{"id", "p1"}};
        // An empty id first: slots that guard against it send nothing for it. dialNumber ignores the
        // user id, and transfer sends an empty target.
        QTest::newRow("answer") << calling(&CTIConnector::answer, {""}) << command("answer", {{"callid", ""}});
        QTest::newRow("hangup") << calling([](CTIConnector *c, QString id) { c->hangup(id, "u7"); }, {"", "c1"})
                                << command("hangup", {{"callid", "c1"}});
        QTest::newRow("hold") << calling(&CTIConnector::hold, {"", "c1"}) << command("hold", {{"callid", "c1"}});
        QTest::newRow("holdRetrieve") << calling(&CTIConnector::holdRetrieve, {"", "c1"}) << command("holdRetrieve", {{"callid", "c1"}});
        QTest::newRow("record") << calling(&CTIConnector::record, {"", "c1"}) << command("record", {{"callid", "c1"}});
        QTest::newRow("transfer") << calling([](CTIConnector *c, QString id) { c->transfer(id, ""); }, {"", "c1"})
                                  << command("transfer", {{"callid", "c1"}, {"target", ""}});
        QTest::newRow("dialNumber") << Call([](CTIConnector *c) { c->dialNumber("0815", "u7"); }) << command("dialNumber", {{"number", "0815"}});
        QTest::newRow("loginPhone") << calling(&CTIConnector::loginPhone, {"p1"}) << command("loginPhone", p1);
        QTest::newRow("logoutPhone") << calling(&CTIConnector::logoutPhone, {"p1"}) << command("logoutPhone", p1);
        QTest::newRow("loginQueue") << calling(&CTIConnector::loginQueue, {"p1"}) << command("loginQueue", p1);
        QTest::newRow("logoutQueue") << calling(&CTIConnector::logoutQueue, {"p1"}) << command("logoutQueue", p1);
        QTest::newRow("setActiveForwardPreset") << calling(&CTIConnector::setActiveForwardPreset, {"p1"}) << command("setActiveForwardPreset", p1);
        QTest::newRow("requestTapiUsers") << Call(&CTIConnector::requestTapiUsers) << command("tapiGetUsers");
        QTest::newRow("requestJabberBuddies") << Call(&CTIConnector::requestJabberBuddies) << command("requestJabberBuddies");
        QTest::newRow("requestLineStatus") << Call(&CTIConnector::requestLineStatus) << command("requestLineStatus");
        QTest::newRow("requestUCItems") << Call(&CTIConnector::requestUCItems) << command("requestUCItems");
        QTest::newRow("requestPhoneConfig") << Call(&CTIConnector::requestPhoneConfig) << command("requestPhoneConfig");
        QTest::newRow("requestAddressBooks") << Call(&CTIConnector::requestAddressBooks) << command("getAddressbooks");
        QTest::newRow("requestContactTypes") << Call(&CTIConnector::requestContactTypes) << command("getContactTypes");
        QTest::newRow("requestAddresses") << calling(&CTIConnector::requestAddresses, {"", "b1"})
                                          << command("getAddresses", {{"bookid", "b1"}, {"limit", 10000}, {"offset", 0}});
        QTest::newRow("requestAddressPicture") << calling(&CTIConnector::requestAddressPicture, {"p1"}) << command("getAddressPicture", p1);
        QTest::newRow("deleteAddress") << calling(&CTIConnector::deleteAddress, {"p1"}) << command("deleteAddress", p1);
        QTest::newRow("saveAddressPicture of a null image") << Call([](CTIConnector *c) { c->saveAddressPicture("p1", QImage()); })
            << command("setAddressPicture", {{"id", "p1"}, {"image_460", ""}, {"image_80", ""}, {"image_40", ""}});
        QTest::newRow("requestModels") << Call([](CTIConnector *c) { c->requestModels("User", {{"age", 5}, {"vip", true}}, "name", 20, 40); })
            << command("model", {{"modelCmd", "request"}, {"modelName", "User"}, {"modelSort", "name"}, {"modelLimit", 20},
                                 {"modelOffset", 40}, {"modelAttributes", QJsonObject{{"age", "5"}, {"vip", "true"}}}});
        QTest::newRow("saveAddress") << Call([](CTIConnector *c) {
            c->saveAddress(nullptr);
            Addresses address;
            address.setAttributes({{"id", "inner"}, {"lastname", "Kühn"}, {"zip", 12345}});
            address.setId("a9");
            c->saveAddress(&address);
        }) << command("saveAddress", {{"id", "a9"}, {"address", QJsonObject{{"id", "inner"}, {"lastname", "Kühn"}, {"zip", "12345"}}}});
    }

    void shouldSendEachCommandAsTheServerExpects()
    {
        QFETCH(Call, call);
        QFETCH(QList<QJsonObject>, frames);
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        fixture.server.setAnswering(false);
        fixture.server.clearReceived();
        call(fixture.connector);
        // Commands travel in order: once this marker is in, so is whatever the call sent.
        QSignalSpy arrived(&fixture.server, &DemoServer::commandReceived);
        fixture.connector->requestProtocolVersion();
        while (fixture.sent("requestProtocolVersion").isEmpty())
            QVERIFY(arrived.wait(5000));
        QList<QJsonObject> received = fixture.server.received();
        for (QJsonObject &frame : received)
            frame.remove("uuid");
        QCOMPARE(received, frames + command("requestProtocolVersion"));
    }

    void shouldScaleAddressPicturesToThreeBoxes()
    {
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        for (const QSize source : {QSize(1000, 500), QSize(100, 100), QSize(30, 60)}) {
            QImage image(source, QImage::Format_ARGB32);
            image.fill(Qt::darkCyan);
            fixture.connector->saveAddressPicture("a1", image);
        }
        QTRY_COMPARE(fixture.sent("setAddressPicture").size(), 3);
        QList<QSize> sizes;
        for (const QJsonObject &data : fixture.sent("setAddressPicture"))
            for (const char *key : {"image_460", "image_80", "image_40"})
                sizes.append(QImage::fromData(QByteArray::fromBase64(data.value(key).toString().toLatin1()), "PNG").size());
        QCOMPARE(sizes, (QList<QSize>{{920, 460}, {160, 80}, {80, 40}, // landscape
                                      {460, 460}, {80, 80}, {40, 40}, // square
                                      {460, 920}, {80, 160}, {40, 80}})); // portrait
    }
};

QTEST_MAIN(tst_CTICommands)
#include "tst_cticommands.moc"
