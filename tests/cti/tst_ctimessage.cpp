#include "boundedjsonwriter.h"
#include "ctimessage.h"
#include "demodata.h"

#include <QDir>
#include <QJsonArray>
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

    // The log writer's text is exactly the start of what toJson() writes, wherever the bound
    // falls: inside a string, an escape, a number or the indentation; before a character that
    // would not fit whole, never inside it.
    void shouldWriteTheStartOfWhatToJsonWrites_data()
    {
        QTest::addColumn<QJsonObject>("document");
        for (const QFileInfo &frame : QDir(":/corpus").entryInfoList()) {
            QFile file(frame.filePath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QJsonDocument parsed = QJsonDocument::fromJson(file.readAll());
            if (parsed.isObject())
                QTest::newRow(qPrintable(frame.fileName())) << parsed.object();
        }
        DemoData data;
        data.setBookSize("big", 300);
        QTest::newRow("generated page") << data.answer("getAddresses", {{"bookid", "big"}, {"limit", 300}}).value_or(QJsonObject());
        const QString lone = QString(QChar(0xD800)) + "x" + QChar(0xDC00) + QChar(0xDBFF);
        QTest::newRow("escapes, characters, numbers, empty containers")
            << QJsonObject{{"text", "a\"b\\c/\n\t\b\f\r\x01\x1f é€😀 end"}, {"lone surrogates", lone}, {"", "empty key"},
                           {"numbers", QJsonArray{0, -0.0, 1.5, -7, 1e17, -123456789012345678.0, 1e20, 1.8446744073709552e19, 1e300, 0.1}},
                           {"empty", QJsonObject()}, {"none", QJsonArray()}, {"flags", QJsonArray{true, false, QJsonValue::Null}},
                           {"deep", QJsonObject{{"a", QJsonArray{QJsonObject{{"b", QJsonArray{QJsonArray()}}}}}}},
                           {"~ long, last", QString(1500, QChar(0xE9)) + "\n" + QString(1500, 'x')}};
        // Qt 6 keeps whole numbers of a received text as integers and writes them apart from doubles.
        QTest::newRow("numbers as received")
            << QJsonDocument::fromJson("{\"n\": [123456789012345678, -100000000000000000, 1e17, 2.5, 9223372036854775807, "
                                       "18446744073709551616, 0, -0]}")
                   .object();
    }

    void shouldWriteTheStartOfWhatToJsonWrites()
    {
        QFETCH(QJsonObject, document);
        const QByteArray whole = QJsonDocument(document).toJson();
        // Every bound for the small documents, a spread of them for the page.
        const int step = qMax(1, whole.size() / 1500);
        for (int bound = 0; bound <= whole.size() + 1; bound += step) {
            BoundedJsonWriter writer(bound);
            writer.writeDocument(document);
            const QByteArray &text = writer.text();
            QVERIFY2(whole.startsWith(text) && text.size() <= bound && text.size() >= qMin(bound, whole.size()) - 3,
                     qPrintable(QString::number(bound)));
            QCOMPARE(writer.isCut(), bound < whole.size());
            QVERIFY(text.size() == whole.size() || (uchar(whole.at(text.size())) & 0xC0) != 0x80);
            // With no value left out whole, the bytes left out are exactly the rest.
            if (writer.valuesLeftOut() == 0)
                QCOMPARE(text.size() + writer.bytesLeftOut(), qint64(whole.size()));
        }
    }

    // What the text does not begin, level by level: here the rest of "b" and the member "c". (A cut
    // in the last value or the closing brackets leaves none out: tst_ctifaults's marker test.)
    void shouldCountTheValuesLeftOut()
    {
        const QJsonObject document{{"a", 1}, {"b", QJsonArray{10, 20, 30}}, {"c", QJsonObject{{"x", 1}, {"y", 2}}}};
        BoundedJsonWriter writer(QJsonDocument(document).toJson().indexOf("20") + 1);
        writer.writeDocument(document);
        QVERIFY(writer.text().endsWith("        2"));
        QCOMPARE(writer.valuesLeftOut(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_CTIMessage)
#include "tst_ctimessage.moc"
