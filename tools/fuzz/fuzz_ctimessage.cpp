// libFuzzer target: the input is one text frame as the server would send it.

#include "boundedjsonwriter.h"
#include "cticonnector.h"
#include "ctimessage.h"

#include <QFile>
#include <QHash>
#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <cstdint>
#include <mutex>
#include <set>

namespace {

// The connector never lets go of what it stores; a fresh one now and then bounds memory and
// the timers of stored lines.
constexpr int runsPerConnector = 1000;

CTIConnector *connector = nullptr;
int runs = 0;

// Every record the handlers announce, stored or not, so the harness can free them with the
// connector. Pool threads announce UC items, hence the lock.
std::mutex recordsMutex;
std::set<QObject *> records;

void keep(QObject *record)
{
    const std::lock_guard<std::mutex> lock(recordsMutex);
    records.insert(record);
}

void discard(QtMsgType, const QMessageLogContext &, const QString &) {}

void stopReconnecting(CTIConnector *target)
{
    target->findChild<QTimer *>("reconnectTimer")->stop();
}

CTIConnector *freshConnector()
{
    auto *fresh = new CTIConnector;
    stopReconnecting(fresh);
    QObject::connect(fresh, &CTIConnector::lineOpenend, keep);
    QObject::connect(fresh, &CTIConnector::jabberBuddyAdded, keep);
    QObject::connect(fresh, &CTIConnector::jabberBuddyChanged, keep);
    QObject::connect(fresh, &CTIConnector::phoneAdded, keep);
    QObject::connect(fresh, &CTIConnector::phoneChanged, keep);
    QObject::connect(fresh, &CTIConnector::queueAdded, keep);
    QObject::connect(fresh, &CTIConnector::queueChanged, keep);
    QObject::connect(fresh, &CTIConnector::forwardPresetAdded, keep);
    QObject::connect(fresh, &CTIConnector::addressBookAdded, keep);
    QObject::connect(fresh, &CTIConnector::addressAdded, keep);
    QObject::connect(fresh, &CTIConnector::addressSaved, keep);
    return fresh;
}

void replaceConnector()
{
    delete connector;
    for (QObject *record : records)
        delete record;
    records.clear();
    connector = freshConnector();
}

void exerciseEnvelope(const QByteArray &frame)
{
    CTIMessage message(frame);
    message.data();
    for (const char *key : {"id", "status", "protocol_version", "lines", "users", "addresses", "limit", "data"})
        message.value(QLatin1String(key)).toString();
    // What the client serialises must parse back as the same kind of message.
    const QByteArray whole = message.toJson();
    if (CTIMessage(whole).type() != message.type())
        __builtin_trap();
    // What the log shows of it, cut anywhere, must be exactly its start, never a split character.
    const int bound = int(qHash(frame) % uint(whole.size() + 2));
    BoundedJsonWriter writer(bound);
    writer.writeDocument(message.envelope());
    const QByteArray &start = writer.text();
    if (!whole.startsWith(start) || start.size() > bound || start.size() < qMin(bound, whole.size()) - 3
        || writer.isCut() != (bound < whole.size())
        || (start.size() < whole.size() && (uchar(whole.at(start.size())) & 0xC0) == 0x80))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(discard);
    // Settings and the registry stand-in stay inside a private folder, never the machine's.
    static QTemporaryDir folder;
    qputenv("ProgramData", QFile::encodeName(folder.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, folder.filePath(QStringLiteral("registry")));
    new QGuiApplication(*argc, *argv);

    // The pool task announces UC items through the process's connector: create it here, on
    // this thread, as the diagnostic tool does.
    stopReconnecting(CTIConnector::instance());
    QObject::connect(CTIConnector::instance(), &CTIConnector::ucItemAdded, keep);
    connector = freshConnector();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    const char *text = reinterpret_cast<const char *>(bytes);
    exerciseEnvelope(QByteArray(text, int(size)));

    QMetaObject::invokeMethod(connector, "onMessage", Qt::DirectConnection,
                              Q_ARG(QString, QString::fromUtf8(text, int(size))));
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();

    if (++runs % runsPerConnector == 0)
        replaceConnector();
    return 0;
}
