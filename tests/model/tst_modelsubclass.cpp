#include "modelsubclass.h"

#include <QMetaMethod>
#include <QSignalSpy>
#include <QtTest>

class tst_ModelSubclass : public QObject
{
    Q_OBJECT

private slots:
    void shouldEmitChangedOnlyForRealChange_data();
    void shouldEmitChangedOnlyForRealChange();
    void shouldShowOldValueToDirectReceiverAndNewValueToQueuedReceiver();
    void shouldAddAbsentKeySilentlyWhenRead();
    void shouldReadFallbackOnlyForKeysTheRecordLacks();
    void shouldMergeMapKeyByKeyInAscendingOrder();
    void shouldTakeIdFromExactIdKey_data();
    void shouldTakeIdFromExactIdKey();
    void shouldKeepIdAttributeWhenIdIsSetDirectly();
    void shouldDeclareSignalsAndSlotsInOrder();
};

void tst_ModelSubclass::shouldEmitChangedOnlyForRealChange_data()
{
    QTest::addColumn<bool>("hasStored");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("expectedChanges");
    QTest::addColumn<QVariant>("expectedStored");

    const QVariantMap map{{QStringLiteral("a"), 1}};
    const QVariant invalid;

    QTest::newRow("same number") << true << QVariant(5) << QVariant(5) << 0 << QVariant(5);
    // Qt 5 converts before comparing, so the stored number keeps its type.
    QTest::newRow("number, then equal text") << true << QVariant(5) << QVariant("5") << 0 << QVariant(5);
    QTest::newRow("text, then equal number") << true << QVariant("5") << QVariant(5) << 0 << QVariant("5");
    QTest::newRow("integer, then equal double") << true << QVariant(5) << QVariant(5.0) << 0 << QVariant(5);
    QTest::newRow("other number") << true << QVariant(5) << QVariant(6) << 1 << QVariant(6);
    QTest::newRow("number, then unrelated text") << true << QVariant(0) << QVariant("abc") << 1 << QVariant("abc");
    QTest::newRow("other text") << true << QVariant("on") << QVariant("off") << 1 << QVariant("off");
    QTest::newRow("equal nested map") << true << QVariant(map) << QVariant(map) << 0 << QVariant(map);
    QTest::newRow("invalid, then empty text") << true << invalid << QVariant(QString()) << 1 << QVariant(QString());
    QTest::newRow("text, then invalid") << true << QVariant("x") << invalid << 1 << invalid;
    QTest::newRow("new key") << false << invalid << QVariant(7) << 1 << QVariant(7);
    QTest::newRow("new key, invalid value") << false << invalid << invalid << 1 << invalid;
}

void tst_ModelSubclass::shouldEmitChangedOnlyForRealChange()
{
    QFETCH(bool, hasStored);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, value);
    QFETCH(int, expectedChanges);
    QFETCH(QVariant, expectedStored);

    ModelSubclass record(QStringLiteral("Sample"));
    if (hasStored)
        record.setAttribute(QStringLiteral("key"), stored);
    QSignalSpy spy(&record, &ModelSubclass::changed);

    record.setAttribute(QStringLiteral("key"), value);

    QCOMPARE(spy.count(), expectedChanges);
    QVERIFY(record.attributes().contains(QStringLiteral("key")));
    const QVariant actual = record.attributes().value(QStringLiteral("key"));
    QCOMPARE(actual.userType(), expectedStored.userType());
    QCOMPARE(actual, expectedStored);

    record.setAttribute(QStringLiteral("key"), value);
    QCOMPARE(spy.count(), expectedChanges);
}

void tst_ModelSubclass::shouldShowOldValueToDirectReceiverAndNewValueToQueuedReceiver()
{
    ModelSubclass record(QStringLiteral("Sample"));
    QObject queuedContext;
    QVariantList direct;
    QVariantList queued;
    QList<bool> directSawKey;
    connect(&record, &ModelSubclass::changed, &queuedContext, [&] {
        directSawKey << record.attributes().contains(QStringLiteral("state"));
        direct << record.attributes().value(QStringLiteral("state"));
    }, Qt::DirectConnection);
    connect(&record, &ModelSubclass::changed, &queuedContext, [&] {
        queued << record.attribute(QStringLiteral("state"));
    }, Qt::QueuedConnection);

    record.setAttribute(QStringLiteral("state"), QStringLiteral("ringing"));
    QCOMPARE(directSawKey, QList<bool>{false});
    QTRY_COMPARE(queued, QVariantList{QStringLiteral("ringing")});

    record.setAttribute(QStringLiteral("state"), QStringLiteral("connected"));
    QCOMPARE(direct.last(), QVariant(QStringLiteral("ringing")));
    QTRY_COMPARE(queued.size(), 2);
    QCOMPARE(queued.last(), QVariant(QStringLiteral("connected")));
}

void tst_ModelSubclass::shouldAddAbsentKeySilentlyWhenRead()
{
    ModelSubclass record(QStringLiteral("Sample"));
    QSignalSpy spy(&record, &ModelSubclass::changed);

    const QVariant value = record.attribute(QStringLiteral("missing"));

    QVERIFY(!value.isValid());
    QCOMPARE(record.attributes().keys(), QStringList{QStringLiteral("missing")});
    QVERIFY(!record.attributes().value(QStringLiteral("missing")).isValid());
    QCOMPARE(spy.count(), 0);

    // The key now holds an invalid value, so writing one again is no change.
    record.setAttribute(QStringLiteral("missing"), QVariant());
    QCOMPARE(spy.count(), 0);
}

void tst_ModelSubclass::shouldReadFallbackOnlyForKeysTheRecordLacks()
{
    ModelSubclass record(QStringLiteral("Sample"));
    record.setFallbackAttributes({{QStringLiteral("name"), QStringLiteral("fallback")},
                                  {QStringLiteral("status"), QStringLiteral("fallback")}});
    record.setAttribute(QStringLiteral("status"), QStringLiteral("own"));

    QCOMPARE(record.attribute(QStringLiteral("name")), QVariant(QStringLiteral("fallback")));
    QCOMPARE(record.attribute(QStringLiteral("status")), QVariant(QStringLiteral("own")));
    QVERIFY(!record.attributes().contains(QStringLiteral("name")));
}

void tst_ModelSubclass::shouldMergeMapKeyByKeyInAscendingOrder()
{
    ModelSubclass record(QStringLiteral("Sample"));
    record.setAttributes({{QStringLiteral("kept"), 1},
                          {QStringLiteral("same"), QStringLiteral("x")},
                          {QStringLiteral("updated"), 1}});
    QSignalSpy spy(&record, &ModelSubclass::changed);
    QList<QStringList> keysSeenAtEachChange;
    connect(&record, &ModelSubclass::changed, this, [&] { keysSeenAtEachChange << record.attributes().keys(); });

    record.setAttributes({});
    QCOMPARE(spy.count(), 0);

    record.setAttributes({{QStringLiteral("zeta"), 1},
                          {QStringLiteral("alpha"), 1},
                          {QStringLiteral("same"), QStringLiteral("x")},
                          {QStringLiteral("updated"), 2}});

    // One change per differing key, applied in key order: "alpha", then "updated", then "zeta".
    QCOMPARE(spy.count(), 3);
    const QStringList before{QStringLiteral("kept"), QStringLiteral("same"), QStringLiteral("updated")};
    const QStringList withAlpha{QStringLiteral("alpha"), QStringLiteral("kept"), QStringLiteral("same"),
                                QStringLiteral("updated")};
    QCOMPARE(keysSeenAtEachChange, (QList<QStringList>{before, withAlpha, withAlpha}));
    QCOMPARE(record.attributes(), (QVariantMap{{QStringLiteral("alpha"), 1},
                                               {QStringLiteral("kept"), 1},
                                               {QStringLiteral("same"), QStringLiteral("x")},
                                               {QStringLiteral("updated"), 2},
                                               {QStringLiteral("zeta"), 1}}));
}

void tst_ModelSubclass::shouldTakeIdFromExactIdKey_data()
{
    QTest::addColumn<QVariantMap>("map");
    QTest::addColumn<QString>("expectedId");

    QTest::newRow("text id") << QVariantMap{{QStringLiteral("id"), QStringLiteral("u-17")}} << QStringLiteral("u-17");
    QTest::newRow("numeric id becomes text") << QVariantMap{{QStringLiteral("id"), 42}} << QStringLiteral("42");
    QTest::newRow("other case is no id") << QVariantMap{{QStringLiteral("ID"), QStringLiteral("x")},
                                                       {QStringLiteral("Id"), QStringLiteral("y")}}
                                         << QString();
    QTest::newRow("no id") << QVariantMap{{QStringLiteral("name"), QStringLiteral("Desk")}} << QString();
}

void tst_ModelSubclass::shouldTakeIdFromExactIdKey()
{
    QFETCH(QVariantMap, map);
    QFETCH(QString, expectedId);

    ModelSubclass record(QStringLiteral("Sample"));
    record.setAttributes(map);

    QCOMPARE(record.id(), expectedId);
    QCOMPARE(record.attributes(), map);
}

void tst_ModelSubclass::shouldKeepIdAttributeWhenIdIsSetDirectly()
{
    ModelSubclass record(QStringLiteral("Sample"));
    QSignalSpy spy(&record, &ModelSubclass::changed);
    record.setAttributes({{QStringLiteral("id"), QStringLiteral("inner")}});
    QCOMPARE(spy.count(), 1);

    record.setId(QStringLiteral("outer"));

    QCOMPARE(record.id(), QStringLiteral("outer"));
    QCOMPARE(record.attribute(QStringLiteral("id")), QVariant(QStringLiteral("inner")));
    QCOMPARE(spy.count(), 1);

    // An unchanged "id" in a later update emits nothing but still sets id() again.
    record.setAttributes({{QStringLiteral("id"), QStringLiteral("inner")}});
    QCOMPARE(record.id(), QStringLiteral("inner"));
    QCOMPARE(spy.count(), 1);
}

void tst_ModelSubclass::shouldDeclareSignalsAndSlotsInOrder()
{
    const QMetaObject &meta = ModelSubclass::staticMetaObject;
    QCOMPARE(meta.className(), "ModelSubclass");
    QCOMPARE(meta.superClass(), &QObject::staticMetaObject);
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());

    QStringList methods;
    QList<QMetaMethod::MethodType> types;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        methods << QString::fromLatin1(meta.method(i).methodSignature());
        types << meta.method(i).methodType();
    }
    QCOMPARE(methods, (QStringList{QStringLiteral("changed()"), QStringLiteral("saved()"),
                                   QStringLiteral("save()"), QStringLiteral("saveBinaryField(QString,QByteArray*)"),
                                   QStringLiteral("getBinaryField(QString)"), QStringLiteral("deleteModel()")}));
    QCOMPARE(types, (QList<QMetaMethod::MethodType>{QMetaMethod::Signal, QMetaMethod::Signal, QMetaMethod::Slot,
                                                    QMetaMethod::Slot, QMetaMethod::Slot, QMetaMethod::Slot}));
    QCOMPARE(meta.method(meta.indexOfMethod("getBinaryField(QString)")).typeName(), "QByteArray*");
}

QTEST_MAIN(tst_ModelSubclass)
#include "tst_modelsubclass.moc"
