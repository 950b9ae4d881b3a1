#include "addressbook.h"
#include "addresses.h"
#include "forwardpreset.h"
#include "line.h"
#include "phone.h"
#include "queue.h"
#include "tapiuser.h"
#include "ucitem.h"
#include "user.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<ModelSubclass> createRecord(const QString &type)
{
    if (type == QLatin1String("Line"))
        return std::make_unique<Line>();
    if (type == QLatin1String("Addressbook"))
        return std::make_unique<Addressbook>();
    if (type == QLatin1String("Addresses"))
        return std::make_unique<Addresses>();
    if (type == QLatin1String("TapiUser"))
        return std::make_unique<TapiUser>();
    if (type == QLatin1String("ForwardPreset"))
        return std::make_unique<ForwardPreset>();
    if (type == QLatin1String("Phone"))
        return std::make_unique<Phone>();
    if (type == QLatin1String("Queue"))
        return std::make_unique<Queue>();
    if (type == QLatin1String("User"))
        return std::make_unique<User>();
    if (type == QLatin1String("UCItem"))
        return std::make_unique<UCItem>();
    return nullptr;
}

const QStringList personNames{QStringLiteral("name"), QStringLiteral("firstname"), QStringLiteral("lastname")};

} // namespace

// Stands in for the connector's announcement of items built on a pool thread.
class ItemAnnouncer : public QObject
{
    Q_OBJECT

signals:
    void ucItemAdded(UCItem *item);
};

class ItemReceiver : public QObject
{
    Q_OBJECT

public slots:
    void take(UCItem *item)
    {
        received << item;
        threadsOfItems << item->thread();
        ids << item->id();
        item->deleteLater();
    }

public:
    QList<UCItem *> received;
    QList<QThread *> threadsOfItems;
    QStringList ids;
};

class tst_Model : public QObject
{
    Q_OBJECT

private slots:
    void shouldIdentifyEachRecordType_data();
    void shouldIdentifyEachRecordType();
    void shouldDoNothingInSlotsInvokedByName_data();
    void shouldDoNothingInSlotsInvokedByName();
    void shouldDeliverItemBuiltOnAnotherThreadThroughQueuedConnection();
};

void tst_Model::shouldIdentifyEachRecordType_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("typeName");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QStringList>("nameKeys");

    QTest::newRow("Line") << "Line" << "Line" << "Line" << QStringList();
    QTest::newRow("Addressbook") << "Addressbook" << "Addressbook" << "Addressbook" << QStringList();
    QTest::newRow("Addresses") << "Addresses" << "Addresses" << "Addresses" << QStringList();
    QTest::newRow("TapiUser") << "TapiUser" << "TapiUser" << "TapiUser" << personNames;
    QTest::newRow("ForwardPreset") << "ForwardPreset" << "ForwardPreset" << "ModelSubclass" << QStringList();
    QTest::newRow("Phone") << "Phone" << "Phones" << "Phone" << QStringList();
    QTest::newRow("Queue") << "Queue" << "Queue" << "ModelSubclass" << QStringList();
    QTest::newRow("User") << "User" << "User" << "User" << personNames;
    QTest::newRow("UCItem") << "UCItem" << "UCItem" << "ModelSubclass" << QStringList();
}

void tst_Model::shouldIdentifyEachRecordType()
{
    QFETCH(QString, type);
    QFETCH(QString, typeName);
    QFETCH(QString, className);
    QFETCH(QStringList, nameKeys);

    const auto record = createRecord(type);

    QCOMPARE(record->typeName(), typeName);
    const QMetaObject *meta = record->metaObject();
    QCOMPARE(QString::fromLatin1(meta->className()), className);
    if (meta != &ModelSubclass::staticMetaObject) {
        QCOMPARE(meta->superClass(), &ModelSubclass::staticMetaObject);
        QCOMPARE(meta->propertyCount(), meta->propertyOffset());
        // Only a line adds a method: its private seconds slot.
        const int ownMethods = type == QLatin1String("Line") ? 1 : 0;
        QCOMPARE(meta->methodCount() - meta->methodOffset(), ownMethods);
    }
    QCOMPARE(record->nameKeys(), nameKeys);
    QCOMPARE(record->context(), QStringLiteral("default"));
    QVERIFY(record->id().isEmpty());
    QVERIFY(record->attributes().isEmpty());
    QVERIFY(!record->parent());

    // Constructing a record makes its pointer type usable in queued connections.
    const int pointerType = QMetaType::type(QString(type + QLatin1Char('*')).toLatin1());
    QVERIFY(pointerType != QMetaType::UnknownType);
    QVERIFY(QMetaType::typeFlags(pointerType) & QMetaType::PointerToQObject);
}

void tst_Model::shouldDoNothingInSlotsInvokedByName_data()
{
    shouldIdentifyEachRecordType_data();
}

void tst_Model::shouldDoNothingInSlotsInvokedByName()
{
    QFETCH(QString, type);
    const auto record = createRecord(type);
    record->setAttributes({{QStringLiteral("id"), QStringLiteral("7")}, {QStringLiteral("name"), QStringLiteral("Desk")}});
    const QVariantMap before = record->attributes();
    QSignalSpy changed(record.get(), &ModelSubclass::changed);
    QSignalSpy saved(record.get(), &ModelSubclass::saved);

    bool saveResult = true;
    QVERIFY(QMetaObject::invokeMethod(record.get(), "save", Q_RETURN_ARG(bool, saveResult)));
    QCOMPARE(saveResult, false);

    QByteArray data("picture");
    bool saveFieldResult = true;
    QVERIFY(QMetaObject::invokeMethod(record.get(), "saveBinaryField", Q_RETURN_ARG(bool, saveFieldResult),
                                      Q_ARG(QString, QStringLiteral("image")), Q_ARG(QByteArray *, &data)));
    QCOMPARE(saveFieldResult, false);
    QCOMPARE(data, QByteArray("picture"));

    QByteArray dummy;
    QByteArray *field = &dummy;
    QVERIFY(QMetaObject::invokeMethod(record.get(), "getBinaryField", Q_RETURN_ARG(QByteArray *, field),
                                      Q_ARG(QString, QStringLiteral("image"))));
    QCOMPARE(field, nullptr);

    bool deleteResult = true;
    QVERIFY(QMetaObject::invokeMethod(record.get(), "deleteModel", Q_RETURN_ARG(bool, deleteResult)));
    QCOMPARE(deleteResult, false);

    QCOMPARE(record->attributes(), before);
    QCOMPARE(record->id(), QStringLiteral("7"));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(saved.count(), 0);
}

void tst_Model::shouldDeliverItemBuiltOnAnotherThreadThroughQueuedConnection()
{
    ItemAnnouncer announcer;
    ItemReceiver receiver;
    // Connected by signature text, as a consumer may: the pointer type must be a known meta-type.
    QVERIFY(connect(&announcer, SIGNAL(ucItemAdded(UCItem*)), &receiver, SLOT(take(UCItem*))));

    QThread *const mainThread = QThread::currentThread();
    UCItem *built = nullptr;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        auto *item = new UCItem;
        item->setAttributes({{QStringLiteral("id"), QStringLiteral("i1")}});
        item->moveToThread(mainThread);
        built = item;
        emit announcer.ucItemAdded(item);
    }));
    worker->start();
    QVERIFY(worker->wait(5000));
    QVERIFY(built);
    QSignalSpy destroyed(built, &QObject::destroyed);

    QTRY_COMPARE(receiver.received.size(), 1);
    QCOMPARE(receiver.received.first(), built);
    QCOMPARE(receiver.threadsOfItems.first(), mainThread);
    QCOMPARE(receiver.ids, QStringList{QStringLiteral("i1")});
    // The receiver's deleteLater() reaches the item because it now lives on this thread.
    QTRY_COMPARE(destroyed.count(), 1);
}

QTEST_MAIN(tst_Model)
#include "tst_model.moc"
