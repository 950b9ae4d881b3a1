#include "ctimessage.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

class tst_CTIMessage : public QObject
{
    Q_OBJECT

private:
    static QJsonObject wire(CTIMessage &message) { return QJsonDocument::fromJson(message.toJson()).object(); }

private slots:
    void shouldParseLeniently_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariantMap>("data");
        const QVariantMap payload{{QStringLiteral("status"), 200}};
        QTest::newRow("response") << QByteArray(R"({"type":"response","name":"login","data":{"status":200}})")
                                  << int(CTIMessage::Response) << "login" << payload;
        QTest::newRow("event") << QByteArray(R"({"type":"event","name":"x"})") << int(CTIMessage::Event) << "x"
                               << QVariantMap();
        QTest::newRow("command") << QByteArray(R"({"type":"command","name":"y","data":[]})")
                                 << int(CTIMessage::Command) << "y" << QVariantMap();
        QTest::newRow("capitalised type") << QByteArray(R"({"type":"Response","name":"login"})")
                                          << int(CTIMessage::Unknown) << "login" << QVariantMap();
        QTest::newRow("empty type") << QByteArray(R"({"type":"","name":"n"})") << int(CTIMessage::Unknown) << "n"
                                    << QVariantMap();
        QTest::newRow("type not a string") << QByteArray(R"({"type":2,"name":5,"data":"x"})")
                                           << int(CTIMessage::Unknown) << "" << QVariantMap();
        QTest::newRow("not json") << QByteArray("garbage {") << int(CTIMessage::Unknown) << "" << QVariantMap();
        QTest::newRow("array") << QByteArray(R"([{"type":"response"}])") << int(CTIMessage::Unknown) << ""
                               << QVariantMap();
        QTest::newRow("empty") << QByteArray() << int(CTIMessage::Unknown) << "" << QVariantMap();
        QTest::newRow("extra members ignored") << QByteArray(R"({"type":"event","name":"e","extra":1,"data":{"a":"b"}})")
                                               << int(CTIMessage::Event) << "e"
                                               << QVariantMap{{QStringLiteral("a"), QStringLiteral("b")}};
    }

    void shouldParseLeniently()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, type);
        QFETCH(QString, name);
        QFETCH(QVariantMap, data);
        const CTIMessage message(frame);
        QCOMPARE(message.type(), type);
        QCOMPARE(message.name(), name);
        QCOMPARE(message.data(), data);
    }

    void shouldIgnoreAReceivedUuid()
    {
        CTIMessage message(QByteArray(R"({"type":"response","name":"n","uuid":"not-mine"})"));
        QVERIFY(message.uuid() != QLatin1String("not-mine"));
    }

    void shouldCreateTheUuidOnceInPlainForm()
    {
        CTIMessage first(QStringLiteral("login"));
        const QString uuid = first.uuid();
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"))
                    .match(uuid)
                    .hasMatch());
        QCOMPARE(wire(first).value(QLatin1String("uuid")).toString(), uuid);
        QCOMPARE(wire(first).value(QLatin1String("uuid")).toString(), uuid);

        CTIMessage copyBefore(QStringLiteral("x"));
        CTIMessage copy = copyBefore;
        QVERIFY(copy.uuid() != copyBefore.uuid());
        QVERIFY(CTIMessage(QStringLiteral("login")).uuid() != uuid);
    }

    void shouldSerialiseIndentedWithAllFourMembers()
    {
        CTIMessage command(QStringLiteral("requestProtocolVersion"));
        const QByteArray json = command.toJson();
        QVERIFY(json.startsWith("{\n    \"data\": {\n    },\n    \"name\": \"requestProtocolVersion\",\n"));
        QCOMPARE(wire(command).value(QLatin1String("type")).toString(), QStringLiteral("command"));

        CTIMessage unknown;
        QCOMPARE(wire(unknown).value(QLatin1String("type")).toString(), QStringLiteral("?"));
        QCOMPARE(CTIMessage::typeWord(2), QStringLiteral("response"));
        QCOMPARE(CTIMessage::typeWord(3), QStringLiteral("event"));
        QCOMPARE(CTIMessage::typeWord(7), QStringLiteral("?"));
    }

    void shouldWriteEachValueKind()
    {
        CTIMessage message(QStringLiteral("c"));
        message.setValue(QStringLiteral("text"), QStringLiteral("Grüße"));
        message.setValue(QStringLiteral("number"), 10000);
        message.setValue(QStringLiteral("word"), "tapi");
        message.setValue(QStringLiteral("map"), QVariantMap{{QStringLiteral("n"), 5},
                                                           {QStringLiteral("b"), true},
                                                           {QStringLiteral("list"), QVariantList{1, 2}}});
        const QByteArray bytes("\x00\xff png", 6);
        message.setValue(QStringLiteral("bytes"), bytes);
        message.setValue(QStringLiteral("word"), "replaced");

        const QJsonObject data = wire(message).value(QLatin1String("data")).toObject();
        QCOMPARE(data.value(QLatin1String("text")).toString(), QStringLiteral("Grüße"));
        QVERIFY(data.value(QLatin1String("number")).isDouble());
        QCOMPARE(data.value(QLatin1String("word")).toString(), QStringLiteral("replaced"));
        const QJsonObject map = data.value(QLatin1String("map")).toObject();
        QCOMPARE(map.value(QLatin1String("n")), QJsonValue(QStringLiteral("5")));
        QCOMPARE(map.value(QLatin1String("b")), QJsonValue(QStringLiteral("true")));
        QCOMPARE(map.value(QLatin1String("list")), QJsonValue(QString()));
        QCOMPARE(QByteArray::fromBase64(data.value(QLatin1String("bytes")).toString().toLatin1()), bytes);
        QVERIFY(!message.toJson().contains("\\n")); // Base64 without line breaks
    }

    void shouldReadValuesWithEmptyConversions()
    {
        const CTIMessage message(QByteArray(R"({"type":"response","name":"n","data":{"s":"abc","v":"2.5"}})"));
        QVERIFY(message.value(QStringLiteral("missing")).isNull());
        QCOMPARE(message.value(QStringLiteral("s")).toInt(), 0);
        QCOMPARE(message.value(QStringLiteral("v")).toDouble(), 2.5);
        QVERIFY(message.value(QStringLiteral("missing")).toMap().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_CTIMessage)
#include "tst_ctimessage.moc"
