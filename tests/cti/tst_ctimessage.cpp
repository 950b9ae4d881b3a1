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
    // A received frame, serialised again: the type word, name and data it was read as.
    void shouldParseLeniently_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QJsonObject>("data");
        QTest::newRow("response") << QByteArray(R"({"type":"response","name":"r","uuid":"x","data":{"s":2}})") << "response" << "r" << QJsonObject{{"s", 2}};
        QTest::newRow("event") << QByteArray(R"({"type":"event","name":"e","extra":1})") << "event" << "e" << QJsonObject();
        QTest::newRow("command") << QByteArray(R"({"type":"command","name":"y","data":[]})") << "command" << "y" << QJsonObject();
        QTest::newRow("capitalised type") << QByteArray(R"({"type":"Response","name":"n"})") << "?" << "n" << QJsonObject();
        QTest::newRow("mistyped members") << QByteArray(R"({"type":2,"name":5,"data":"x"})") << "?" << "" << QJsonObject();
        QTest::newRow("not json") << QByteArray("garbage {") << "?" << "" << QJsonObject();
        QTest::newRow("array") << QByteArray(R"([{"type":"response","name":"login"}])") << "?" << "" << QJsonObject();
        QTest::newRow("empty") << QByteArray() << "?" << "" << QJsonObject();
    }

    void shouldParseLeniently()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, type);
        QFETCH(QString, name);
        QFETCH(QJsonObject, data);
        CTIMessage message(frame);
        // Exactly four members, "data" always an object; a received uuid is never read.
        QCOMPARE(wire(message), (QJsonObject{{"type", type}, {"name", name}, {"uuid", message.uuid()}, {"data", data}}));
        QVERIFY(message.uuid() != "x");
    }

    void shouldSerialiseEachValueKindWithAUuidCreatedOnce()
    {
        CTIMessage message(QStringLiteral("c"));
        const CTIMessage copyBefore = message;
        message.setValue("text", QStringLiteral("Grüße"));
        message.setValue("number", 10000);
        message.setValue("word", "tapi");
        message.setValue("word", "replaced");
        message.setValue("map", QVariantMap{{"n", 5}, {"b", true}, {"list", QVariantList{1, 2}}});
        message.setValue("bytes", QByteArray("\x00\xff png", 6));
        const QString uuid = message.uuid();
        QVERIFY(QRegularExpression("^[0-9a-f]{8}-([0-9a-f]{4}-){3}[0-9a-f]{12}$").match(uuid).hasMatch());
        QVERIFY(message.toJson().startsWith("{\n    \"data\": {\n        \"b"));
        const QJsonObject data{{"text", "Grüße"}, {"number", 10000}, {"word", "replaced"}, {"bytes", "AP8gcG5n"},
                               {"map", QJsonObject{{"n", "5"}, {"b", "true"}, {"list", ""}}}};
        QCOMPARE(wire(message), (QJsonObject{{"type", "command"}, {"name", "c"}, {"uuid", uuid}, {"data", data}}));
        QVERIFY(CTIMessage(copyBefore).uuid() != uuid);
        QVERIFY(message.value("missing").isNull());
    }
};

QTEST_GUILESS_MAIN(tst_CTIMessage)
#include "tst_ctimessage.moc"
