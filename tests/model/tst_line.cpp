#include "line.h"

#include <QAtomicPointer>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

QTimer *secondsTimerOf(Line &line)
{
    return line.findChild<QTimer *>(QStringLiteral("secondsTimer"));
}

// QVariant equality converts between types, so the types are compared as well.
void compareTyped(const QVariantMap &actual, const QVariantMap &expected)
{
    QCOMPARE(actual, expected);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(actual.value(it.key()).userType() == it.value().userType(), qPrintable(it.key()));
}

void tick(Line &line)
{
    QVERIFY(QMetaObject::invokeMethod(&line, "onSecondsTimer"));
}

QVariantMap ringingCall()
{
    return {{QStringLiteral("owner_id"), 501},
            {QStringLiteral("callid"), QStringLiteral("c-1001")},
            {QStringLiteral("firstname"), QStringLiteral("Jana")},
            {QStringLiteral("lastname"), QStringLiteral("Novak")},
            {QStringLiteral("company"), QStringLiteral("Example Ltd")},
            {QStringLiteral("remote_number"), QStringLiteral("+49301234567")},
            {QStringLiteral("remote_number_ic"), QStringLiteral("0301234567")},
            {QStringLiteral("pictureURL"), QStringLiteral("http://pictures/17.png")},
            {QStringLiteral("state"), 1},
            {QStringLiteral("direction"), 2},
            {QStringLiteral("duration"), QStringLiteral("00:00:05")},
            {QStringLiteral("timestamp"), QStringLiteral("2024-03-01 12:34:56")},
            {QStringLiteral("caller_addressbook_id"), 88}};
}

QVariantMap connectedCall()
{
    QVariantMap data = ringingCall();
    data.insert(QStringLiteral("state"), 2);
    data.insert(QStringLiteral("duration"), QStringLiteral("00:01:00"));
    return data;
}

const QStringList lineKeys{QStringLiteral("owner_id"),     QStringLiteral("callId"),
                           QStringLiteral("firstName"),    QStringLiteral("lastName"),
                           QStringLiteral("companyName"),  QStringLiteral("remoteNumber"),
                           QStringLiteral("pictureUrl"),   QStringLiteral("callState"),
                           QStringLiteral("callDirection"), QStringLiteral("callDuration"),
                           QStringLiteral("remoteId")};

} // namespace

class tst_Line : public QObject
{
    Q_OBJECT

private slots:
    void shouldFillEveryAttributeFromEmptyMap();
    void shouldTranslateServerKeysInWriteOrder();
    void shouldConvertServerValues_data();
    void shouldConvertServerValues();
    void shouldParseTimestampOnlyInServerLayout_data();
    void shouldParseTimestampOnlyInServerLayout();
    void shouldCountOnlyWhileStateIsTwo_data();
    void shouldCountOnlyWhileStateIsTwo();
    void shouldAdvanceDurationBySecondPerTick_data();
    void shouldAdvanceDurationBySecondPerTick();
    void shouldCountSecondsWithRunningTimer();
    void shouldEmitNothingForRepeatedDataAndResetCountedDuration();
    void shouldKeepCountingAfterMovingToAnotherThread();
};

void tst_Line::shouldFillEveryAttributeFromEmptyMap()
{
    Line line;
    QSignalSpy spy(&line, &ModelSubclass::changed);

    line.setLineData({});

    QVariantMap expected;
    for (const QString &key : lineKeys)
        expected.insert(key, QString());
    expected.insert(QStringLiteral("callState"), 0);
    expected.insert(QStringLiteral("callDirection"), 0);
    expected.insert(QStringLiteral("callDuration"), QTime(0, 0, 0, 0));
    compareTyped(line.attributes(), expected);
    QCOMPARE(spy.count(), lineKeys.size());
    QVERIFY(!line.timestamp().isValid());
    QVERIFY(line.id().isEmpty());
    QVERIFY(!secondsTimerOf(line)->isActive());
}

void tst_Line::shouldTranslateServerKeysInWriteOrder()
{
    Line line;
    QList<QStringList> keysSeen;
    connect(&line, &ModelSubclass::changed, this, [&] { keysSeen << line.attributes().keys(); });

    line.setLineData(ringingCall());

    // Each change is announced before its value is stored, so the keys present at change n+1
    // minus those at change n name the key written n-th.
    keysSeen << line.attributes().keys();
    QStringList order;
    for (int i = 1; i < keysSeen.size(); ++i) {
        for (const QString &key : keysSeen.at(i)) {
            if (!keysSeen.at(i - 1).contains(key))
                order << key;
        }
    }
    QCOMPARE(order, lineKeys);

    compareTyped(line.attributes(), {{QStringLiteral("owner_id"), QStringLiteral("501")},
                                     {QStringLiteral("callId"), QStringLiteral("c-1001")},
                                     {QStringLiteral("firstName"), QStringLiteral("Jana")},
                                     {QStringLiteral("lastName"), QStringLiteral("Novak")},
                                     {QStringLiteral("companyName"), QStringLiteral("Example Ltd")},
                                     {QStringLiteral("remoteNumber"), QStringLiteral("+49301234567")},
                                     {QStringLiteral("pictureUrl"), QStringLiteral("http://pictures/17.png")},
                                     {QStringLiteral("callState"), 1},
                                     {QStringLiteral("callDirection"), 2},
                                     {QStringLiteral("callDuration"), QTime(0, 0, 5)},
                                     {QStringLiteral("remoteId"), QStringLiteral("88")}});
    QCOMPARE(line.callId(), QStringLiteral("c-1001"));
    QCOMPARE(line.timestamp(), QDateTime(QDate(2024, 3, 1), QTime(12, 34, 56), Qt::LocalTime));
}

void tst_Line::shouldConvertServerValues_data()
{
    QTest::addColumn<QString>("serverKey");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("state as number") << "state" << QVariant(3) << "callState" << QVariant(3);
    QTest::newRow("state as numeric text") << "state" << QVariant("2") << "callState" << QVariant(2);
    QTest::newRow("state as other text") << "state" << QVariant("connected") << "callState" << QVariant(0);
    QTest::newRow("direction as number") << "direction" << QVariant(1) << "callDirection" << QVariant(1);
    QTest::newRow("direction as empty text") << "direction" << QVariant("") << "callDirection" << QVariant(0);
    QTest::newRow("duration") << "duration" << QVariant("01:02:03") << "callDuration" << QVariant(QTime(1, 2, 3));
    QTest::newRow("duration with milliseconds")
        << "duration" << QVariant("00:00:07.250") << "callDuration" << QVariant(QTime(0, 0, 7, 250));
    QTest::newRow("duration not a time") << "duration" << QVariant("long") << "callDuration" << QVariant(QTime(0, 0));
    QTest::newRow("duration out of range")
        << "duration" << QVariant("25:00:00") << "callDuration" << QVariant(QTime(0, 0));
    QTest::newRow("duration as seconds") << "duration" << QVariant(60) << "callDuration" << QVariant(QTime(0, 0));
    QTest::newRow("owner as number") << "owner_id" << QVariant(501) << "owner_id" << QVariant("501");
}

void tst_Line::shouldConvertServerValues()
{
    QFETCH(QString, serverKey);
    QFETCH(QVariant, value);
    QFETCH(QString, attribute);
    QFETCH(QVariant, expected);

    std::unique_ptr<Line> line(Line::fromLineData({{serverKey, value}}));

    compareTyped({{attribute, line->attribute(attribute)}}, {{attribute, expected}});
}

void tst_Line::shouldParseTimestampOnlyInServerLayout_data()
{
    QTest::addColumn<QString>("timestamp");
    QTest::addColumn<QDateTime>("expected");

    QTest::newRow("server layout") << "2024-03-01 08:05:09"
                                   << QDateTime(QDate(2024, 3, 1), QTime(8, 5, 9), Qt::LocalTime);
    QTest::newRow("ISO with T") << "2024-03-01T08:05:09" << QDateTime();
    QTest::newRow("ISO with zone") << "2024-03-01 08:05:09Z" << QDateTime();
    QTest::newRow("without seconds") << "2024-03-01 08:05" << QDateTime();
}

void tst_Line::shouldParseTimestampOnlyInServerLayout()
{
    QFETCH(QString, timestamp);
    QFETCH(QDateTime, expected);

    std::unique_ptr<Line> line(Line::fromLineData({{QStringLiteral("timestamp"), timestamp}}));

    QCOMPARE(line->timestamp().isValid(), expected.isValid());
    QCOMPARE(line->timestamp(), expected);
    QCOMPARE(line->timestamp().timeSpec(), Qt::LocalTime);
    QVERIFY(!line->attributes().contains(QStringLiteral("timestamp")));
}

void tst_Line::shouldCountOnlyWhileStateIsTwo_data()
{
    QTest::addColumn<QVariant>("state");
    QTest::addColumn<bool>("counting");

    QTest::newRow("2") << QVariant(2) << true;
    QTest::newRow("2 as text") << QVariant(QStringLiteral("2")) << true;
    QTest::newRow("1") << QVariant(1) << false;
    QTest::newRow("3") << QVariant(3) << false;
    QTest::newRow("absent") << QVariant() << false;
}

void tst_Line::shouldCountOnlyWhileStateIsTwo()
{
    QFETCH(QVariant, state);
    QFETCH(bool, counting);

    QVariantMap data = ringingCall();
    data.remove(QStringLiteral("state"));
    if (state.isValid())
        data.insert(QStringLiteral("state"), state);

    // From a counting line, so that a stop is observable as well as a start.
    std::unique_ptr<Line> line(Line::fromLineData(connectedCall()));
    QTimer *timer = secondsTimerOf(*line);
    QVERIFY(timer);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 1000);

    line->setLineData(data);

    QCOMPARE(timer->isActive(), counting);
    QCOMPARE(line->callDuration(), QTime(0, 0, 5));
}

void tst_Line::shouldAdvanceDurationBySecondPerTick_data()
{
    QTest::addColumn<QString>("duration");
    QTest::addColumn<QTime>("afterTwoTicks");

    QTest::newRow("one minute") << "00:01:00" << QTime(0, 1, 2);
    QTest::newRow("not a time") << "n/a" << QTime(0, 0, 2);
    QTest::newRow("wraps at midnight") << "23:59:59" << QTime(0, 0, 1);
}

void tst_Line::shouldAdvanceDurationBySecondPerTick()
{
    QFETCH(QString, duration);
    QFETCH(QTime, afterTwoTicks);

    QVariantMap data = connectedCall();
    data.insert(QStringLiteral("duration"), duration);
    std::unique_ptr<Line> line(Line::fromLineData(data));
    QSignalSpy spy(line.get(), &ModelSubclass::changed);

    tick(*line);
    tick(*line);

    QCOMPARE(line->callDuration(), afterTwoTicks);
    QCOMPARE(spy.count(), 2);
}

void tst_Line::shouldCountSecondsWithRunningTimer()
{
    std::unique_ptr<Line> line(Line::fromLineData(connectedCall()));
    const QVariantMap before = line->attributes();
    QSignalSpy spy(line.get(), &ModelSubclass::changed);

    QTRY_COMPARE_WITH_TIMEOUT(line->callDuration(), QTime(0, 1, 2), 3500);

    QCOMPARE(spy.count(), 2);
    QVariantMap expected = before;
    expected.insert(QStringLiteral("callDuration"), QTime(0, 1, 2));
    QCOMPARE(line->attributes(), expected);
}

void tst_Line::shouldEmitNothingForRepeatedDataAndResetCountedDuration()
{
    std::unique_ptr<Line> line(Line::fromLineData(connectedCall()));
    QSignalSpy spy(line.get(), &ModelSubclass::changed);

    line->setLineData(connectedCall());
    QCOMPARE(spy.count(), 0);
    QVERIFY(secondsTimerOf(*line)->isActive());

    tick(*line);
    tick(*line);
    QCOMPARE(spy.count(), 2);

    line->setLineData(connectedCall());
    QCOMPARE(spy.count(), 3);
    QCOMPARE(line->callDuration(), QTime(0, 1, 0));
}

void tst_Line::shouldKeepCountingAfterMovingToAnotherThread()
{
    std::unique_ptr<Line> owned(Line::fromLineData(connectedCall()));
    Line *line = owned.get();
    QThread worker;
    worker.start();
    QAtomicPointer<QThread> tickThread;
    connect(line, &ModelSubclass::changed, line, [&] { tickThread.storeRelease(QThread::currentThread()); },
            Qt::DirectConnection);

    line->moveToThread(&worker);

    QCOMPARE(secondsTimerOf(*line)->thread(), &worker);
    // The tick happens on the worker: read what it wrote through the atomic only.
    QTRY_COMPARE_WITH_TIMEOUT(tickThread.loadAcquire(), &worker, 3000);

    // The worker deletes the line as it finishes, as a receiver's deleteLater() would.
    owned.release()->deleteLater();
    worker.quit();
    QVERIFY(worker.wait(5000));
}

QTEST_MAIN(tst_Line)
#include "tst_line.moc"
