#include "ctimessage.h"

#include <QJsonDocument>
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
        QTest::newRow("response") << QByteArray(R"({"type":"response","name":"login","uuid":"x","data":{"status":200}})")
                                  << int(CTIMessage::Response) << "login" << QVariantMap{{QStringLiteral("status"), 200}};
        QTest::newRow("event") << QByteArray(R"({"type":"event","name":"e","extra":1})") << int(CTIMessage::Event) << "e" << QVariantMap();
        QTest::newRow("command") << QByteArray(R"({"type":"command","name":"y","data":[]})") << int(CTIMessage::Command) << "y" << QVariantMap();
        QTest::newRow("capitalised type") << QByteArray(R"({"type":"Response","name":"n"})") << int(CTIMessage::Unknown) << "n" << QVariantMap();
        QTest::newRow("mistyped members") << QByteArray(R"({"type":2,"name":5,"data":"x"})") << int(CTIMessage::Unknown) << "" << QVariantMap();
        QTest::newRow("not json") << QByteArray("garbage {") << int(CTIMessage::Unknown) << "" << QVariantMap();
        QTest::newRow("array") << QByteArray(R"([{"type":"response"}])") << int(CTIMessage::Unknown) << "" << QVariantMap();
        QTest::newRow("empty") << QByteArray() << int(CTIMessage::Unknown) << "" << QVariantMap();
    }

    void shouldParseLeniently()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, type);
        QFETCH(QString, name);
        QFETCH(QVariantMap, data);
        CTIMessage message(frame);
        QCOMPARE(message.type(), type);
        QCOMPARE(message.name(), name);
        QCOMPARE(message.data(), data);
        QVERIFY(message.uuid() != QLatin1String("x")); // a received uuid is never read
    }

    void shouldSerialiseWithAUuidCreatedOnce()
    {
        CTIMessage command(QStringLiteral("requestProtocolVersion"));
        const CTIMessage copyBefore = command;
        const QString uuid = command.uuid();
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{8}-([0-9a-f]{4}-){3}[0-9a-f]{12}$")).match(uuid).hasMatch());
        QVERIFY(command.toJson().startsWith("{\n    \"data\": {\n    },\n    \"name\": \"requestProtocolVersion\",\n"));
        QCOMPARE(wire(command).value(QLatin1String("uuid")).toString(), uuid);
        QCOMPARE(wire(command).value(QLatin1String("type")).toString(), QStringLiteral("command"));
        QVERIFY(CTIMessage(copyBefore).uuid() != uuid);

        CTIMessage unknown;
        QCOMPARE(wire(unknown).value(QLatin1String("type")).toString(), QStringLiteral("?"));
        QCOMPARE(CTIMessage::typeWord(2) + CTIMessage::typeWord(3) + CTIMessage::typeWord(7), QStringLiteral("responseevent?"));
    }

    void shouldWriteEachValueKind()
    {
        CTIMessage message(QStringLiteral("c"));
        message.setValue(QStringLiteral("text"), QStringLiteral("Grüße"));
        message.setValue(QStringLiteral("number"), 10000);
        message.setValue(QStringLiteral("word"), "tapi");
        message.setValue(QStringLiteral("word"), "replaced");
        message.setValue(QStringLiteral("map"), QVariantMap{{QStringLiteral("n"), 5}, {QStringLiteral("b"), true},
                                                           {QStringLiteral("list"), QVariantList{1, 2}}});
        const QByteArray bytes("\x00\xff png", 6);
        message.setValue(QStringLiteral("bytes"), bytes);

        const QJsonObject data = wire(message).value(QLatin1String("data")).toObject();
        QCOMPARE(data.value(QLatin1String("text")).toString(), QStringLiteral("Grüße"));
        QVERIFY(data.value(QLatin1String("number")).isDouble());
        QCOMPARE(data.value(QLatin1String("word")).toString(), QStringLiteral("replaced"));
        QCOMPARE(data.value(QLatin1String("map")).toObject(),
                 (QJsonObject{{QStringLiteral("n"), QStringLiteral("5")}, {QStringLiteral("b"), QStringLiteral("true")},
                              {QStringLiteral("list"), QString()}}));
        QCOMPARE(QByteArray::fromBase64(data.value(QLatin1String("bytes")).toString().toLatin1()), bytes);
        QVERIFY(message.value(QStringLiteral("missing")).isNull());
        QCOMPARE(message.value(QStringLiteral("text")).toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_CTIMessage)
#include "tst_ctimessage.moc"
