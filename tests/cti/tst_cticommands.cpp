#include "connectorfixture.h"
#include "messagecapture.h"

#include <QImage>
#include <QJsonObject>
#include <QtTest>

#include <functional>

using Call = std::function<void(CTIConnector *)>;
Q_DECLARE_METATYPE(Call)

class tst_CTICommands : public QObject
{
    Q_OBJECT

private:
    static QSize pngSize(const QJsonObject &data, const char *key)
    {
        return QImage::fromData(QByteArray::fromBase64(data.value(QLatin1String(key)).toString().toLatin1()), "PNG").size();
    }

private slots:
    void shouldSendEachCommandAsTheServerExpects_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QJsonObject>("data");
        const auto callId = [](const char *id) { return QJsonObject{{QStringLiteral("callid"), QLatin1String(id)}}; };
        const QJsonObject p1{{QStringLiteral("id"), QStringLiteral("p1")}};
        const QJsonObject none;

        QTest::newRow("answer") << Call([](CTIConnector *c) { c->answer(QStringLiteral("c1")); }) << "answer" << callId("c1");
        QTest::newRow("answer without id") << Call([](CTIConnector *c) { c->answer(QString()); }) << "answer" << callId("");
        QTest::newRow("hangup") << Call([](CTIConnector *c) { c->hangup(QStringLiteral("c1"), QStringLiteral("u7")); })
                                << "hangup" << callId("c1");
        QTest::newRow("hold") << Call([](CTIConnector *c) { c->hold(QStringLiteral("c1")); }) << "hold" << callId("c1");
        QTest::newRow("holdRetrieve") << Call([](CTIConnector *c) { c->holdRetrieve(QStringLiteral("c1")); })
                                      << "holdRetrieve" << callId("c1");
        QTest::newRow("record") << Call([](CTIConnector *c) { c->record(QStringLiteral("c1")); }) << "record" << callId("c1");
        QTest::newRow("transfer without target")
            << Call([](CTIConnector *c) { c->transfer(QStringLiteral("c1"), QString()); }) << "transfer"
            << QJsonObject{{QStringLiteral("callid"), QStringLiteral("c1")}, {QStringLiteral("target"), QString()}};
        QTest::newRow("dialNumber ignores the user id")
            << Call([](CTIConnector *c) { c->dialNumber(QStringLiteral("0815"), QStringLiteral("u7")); }) << "dialNumber"
            << QJsonObject{{QStringLiteral("number"), QStringLiteral("0815")}};
        QTest::newRow("loginPhone") << Call([](CTIConnector *c) { c->loginPhone(QStringLiteral("p1")); }) << "loginPhone" << p1;
        QTest::newRow("logoutPhone") << Call([](CTIConnector *c) { c->logoutPhone(QStringLiteral("p1")); }) << "logoutPhone" << p1;
        QTest::newRow("loginQueue") << Call([](CTIConnector *c) { c->loginQueue(QStringLiteral("p1")); }) << "loginQueue" << p1;
        QTest::newRow("logoutQueue") << Call([](CTIConnector *c) { c->logoutQueue(QStringLiteral("p1")); }) << "logoutQueue" << p1;
        QTest::newRow("setActiveForwardPreset")
            << Call([](CTIConnector *c) { c->setActiveForwardPreset(QStringLiteral("p1")); }) << "setActiveForwardPreset" << p1;
        QTest::newRow("requestTapiUsers") << Call([](CTIConnector *c) { c->requestTapiUsers(); }) << "tapiGetUsers" << none;
        QTest::newRow("requestJabberBuddies") << Call([](CTIConnector *c) { c->requestJabberBuddies(); })
                                              << "requestJabberBuddies" << none;
        QTest::newRow("requestLineStatus") << Call([](CTIConnector *c) { c->requestLineStatus(); }) << "requestLineStatus" << none;
        QTest::newRow("requestUCItems") << Call([](CTIConnector *c) { c->requestUCItems(); }) << "requestUCItems" << none;
        QTest::newRow("requestPhoneConfig") << Call([](CTIConnector *c) { c->requestPhoneConfig(); }) << "requestPhoneConfig" << none;
        QTest::newRow("requestAddressBooks") << Call([](CTIConnector *c) { c->requestAddressBooks(); }) << "getAddressbooks" << none;
        QTest::newRow("requestContactTypes") << Call([](CTIConnector *c) { c->requestContactTypes(); }) << "getContactTypes" << none;
        QTest::newRow("requestAddresses")
            << Call([](CTIConnector *c) { c->requestAddresses(QStringLiteral("b1")); }) << "getAddresses"
            << QJsonObject{{QStringLiteral("bookid"), QStringLiteral("b1")}, {QStringLiteral("limit"), 10000}, {QStringLiteral("offset"), 0}};
        QTest::newRow("requestAddressPicture")
            << Call([](CTIConnector *c) { c->requestAddressPicture(QStringLiteral("p1")); }) << "getAddressPicture" << p1;
        QTest::newRow("deleteAddress") << Call([](CTIConnector *c) { c->deleteAddress(QStringLiteral("p1")); }) << "deleteAddress" << p1;
        QTest::newRow("requestModels")
            << Call([](CTIConnector *c) {
                   c->requestModels(QStringLiteral("User"), {{QStringLiteral("age"), 5}, {QStringLiteral("vip"), true}},
                                    QStringLiteral("name"), 20, 40);
               })
            << "model"
            << QJsonObject{{QStringLiteral("modelCmd"), QStringLiteral("request")},
                           {QStringLiteral("modelName"), QStringLiteral("User")},
                           {QStringLiteral("modelSort"), QStringLiteral("name")},
                           {QStringLiteral("modelLimit"), 20},
                           {QStringLiteral("modelOffset"), 40},
                           {QStringLiteral("modelAttributes"),
                            QJsonObject{{QStringLiteral("age"), QStringLiteral("5")}, {QStringLiteral("vip"), QStringLiteral("true")}}}};
        QTest::newRow("saveAddress")
            << Call([](CTIConnector *c) {
                   Addresses address;
                   address.setAttributes({{QStringLiteral("id"), QStringLiteral("inner")},
                                          {QStringLiteral("lastname"), QStringLiteral("Kühn")},
                                          {QStringLiteral("zip"), 12345}});
                   address.setId(QStringLiteral("a9"));
                   c->saveAddress(&address);
               })
            << "saveAddress"
            << QJsonObject{{QStringLiteral("id"), QStringLiteral("a9")},
                           {QStringLiteral("address"),
                            QJsonObject{{QStringLiteral("id"), QStringLiteral("inner")},
                                        {QStringLiteral("lastname"), QStringLiteral("Kühn")},
                                        {QStringLiteral("zip"), QStringLiteral("12345")}}}};
    }

    void shouldSendEachCommandAsTheServerExpects()
    {
        QFETCH(Call, call);
        QFETCH(QString, name);
        QFETCH(QJsonObject, data);
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        fixture.server.clearReceived();
        call(fixture.connector);
        QTRY_VERIFY(!fixture.server.received().isEmpty());
        const QJsonObject frame = fixture.server.received().first();
        QCOMPARE(frame.value(QLatin1String("type")).toString(), QStringLiteral("command"));
        QCOMPARE(frame.value(QLatin1String("name")).toString(), name);
        QCOMPARE(frame.value(QLatin1String("data")).toObject(), data);
    }

    void shouldSendNothingWhenTheGuardFails()
    {
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        fixture.server.clearReceived();
        MessageCapture capture;
        fixture.connector->hangup(QString(), QStringLiteral("u7"));
        fixture.connector->hold(QString());
        fixture.connector->holdRetrieve(QString());
        fixture.connector->transfer(QString(), QStringLiteral("200"));
        fixture.connector->record(QString());
        fixture.connector->requestAddresses(QString());
        fixture.connector->saveAddress(nullptr);
        fixture.connector->requestLineStatus(); // a marker that does go out
        QTRY_COMPARE(fixture.server.received().size(), 1);
        QCOMPARE(fixture.sent(QStringLiteral("requestLineStatus")).size(), 1);
        QVERIFY(capture.contains(QStringLiteral("void CTIConnector::requestAddresses(QString) no bookid given!")));
        QVERIFY(!capture.contains(QStringLiteral("hanging up")));

        fixture.connector->hangup(QStringLiteral("c42"), QString());
        QVERIFY(capture.contains(QStringLiteral("]:: hanging up call with id: c42\"")));
    }

    void shouldScaleAddressPicturesToThreeBoxes_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("large");
        QTest::addColumn<QSize>("medium");
        QTest::addColumn<QSize>("small");
        QTest::newRow("landscape") << QSize(1000, 500) << QSize(920, 460) << QSize(160, 80) << QSize(80, 40);
        QTest::newRow("square") << QSize(100, 100) << QSize(460, 460) << QSize(80, 80) << QSize(40, 40);
        QTest::newRow("portrait") << QSize(30, 60) << QSize(460, 920) << QSize(80, 160) << QSize(40, 80);
        QTest::newRow("null image: empty pictures") << QSize() << QSize(0, 0) << QSize(0, 0) << QSize(0, 0);
    }

    void shouldScaleAddressPicturesToThreeBoxes()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, large);
        QFETCH(QSize, medium);
        QFETCH(QSize, small);
        ConnectorFixture fixture;
        QVERIFY(fixture.login());
        QImage image;
        if (source.isValid()) {
            image = QImage(source, QImage::Format_ARGB32);
            image.fill(Qt::darkCyan);
        }
        fixture.connector->saveAddressPicture(QStringLiteral("a1"), image);
        QTRY_COMPARE(fixture.sent(QStringLiteral("setAddressPicture")).size(), 1);
        const QJsonObject data = fixture.sent(QStringLiteral("setAddressPicture")).first();
        QCOMPARE(data.value(QLatin1String("id")).toString(), QStringLiteral("a1"));
        QCOMPARE(pngSize(data, "image_460"), large);
        QCOMPARE(pngSize(data, "image_80"), medium);
        QCOMPARE(pngSize(data, "image_40"), small);
        QCOMPARE(data.value(QLatin1String("image_40")).toString().isEmpty(), !source.isValid());
    }
};

QTEST_MAIN(tst_CTICommands)
#include "tst_cticommands.moc"
