// Memory: peak resident set of diagnostic-tool started offscreen and logged in, against a bare
// dialog program that logs in with a plain socket; and the heap that 100,000 Addresses records
// held by a receiver take, per record, against the size of their JSON text.

#include "bareclient.h"
#include "configurationdata.h"
#include "cticonnector.h"
#include "demoserver.h"
#include "measurement.h"
#include "demoserverprocess.h"
#include "settingsfolder.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QLabel>
#include <QProcess>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace {

constexpr int bookSize = 100000;
const char *const bareDialogOption = "--bare-dialog";

QProcessEnvironment offscreen()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

// Peak resident KiB of diagnostic-tool started offscreen with the settings of server, read once
// the tool has stored the status "Logged in".
qint64 peakOfDiagnosticTool(const DemoServerProcess &server)
{
    SettingsFolder settings(server.port());
    QProcess tool;
    tool.setProcessEnvironment(offscreen());
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.setStandardErrorFile(QProcess::nullDevice());
    tool.start(QStringLiteral(DIAGNOSTIC_TOOL), QStringList());
    if (!tool.waitForStarted(5000))
        return -1;
    // The tool logs in by itself 10 seconds after its start and stores each status.
    ConfigurationData stored;
    const QDeadlineTimer deadline(30000);
    qint64 peak = -1;
    while (!deadline.hasExpired() && tool.state() == QProcess::Running) {
        Measurement::settle(100);
        stored.loadData();
        if (stored.getMessage() == QLatin1String("Logged in")) {
            peak = Measurement::peakResidentKiB(tool.processId());
            break;
        }
    }
    tool.kill();
    tool.waitForFinished(5000);
    return peak;
}

qint64 peakOfBareDialog(const DemoServerProcess &server)
{
    QProcess bare;
    bare.setProcessEnvironment(offscreen());
    bare.setStandardErrorFile(QProcess::nullDevice());
    bare.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(bareDialogOption), server.url().toString()});
    if (!bare.waitForFinished(30000) || bare.exitStatus() != QProcess::NormalExit || bare.exitCode() != 0)
        return -1;
    return bare.readAllStandardOutput().trimmed().toLongLong();
}

// The baseline process: a dialog with a label, shown offscreen, and a plain socket logged in.
int runBareDialog(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QDialog dialog;
    auto *layout = new QVBoxLayout(&dialog);
    auto *status = new QLabel(QStringLiteral("Trying to connect to server ..."), &dialog);
    layout->addWidget(status);
    dialog.show();
    BareClient client;
    if (!client.open(QUrl(QString::fromLocal8Bit(argv[2]))) || !client.login(QStringLiteral("demo"), QStringLiteral("demo")))
        return 1;
    status->setText(QStringLiteral("Logged in"));
    Measurement::settle(50);
    std::printf("%lld\n", Measurement::peakResidentKiB(QCoreApplication::applicationPid()));
    return 0;
}

struct RecordFigures
{
    double heapPerRecord;
    double residentPerRecord;
    double jsonPerEntry;
};

// Heap and resident growth while a receiver holds every record of a book fed to the connector
// page by page, as the demo server sends the pages.
RecordFigures recordsOfBook()
{
    QStringList pages;
    qint64 jsonBytes = 0;
    {
        DemoServer server;
        server.setBookSize(QStringLiteral("big"), bookSize);
        BareClient client;
        if (!server.listen() || !client.open(server.url()))
            return {-1, -1, -1};
        client.readBook(QStringLiteral("big"), [&](const QString &frame, int) {
            pages.append(frame);
            jsonBytes += frame.toUtf8().size();
        });
    }
    CTIConnector connector;
    connector.findChild<QTimer *>("reconnectTimer")->stop();
    QVector<Addresses *> kept;
    kept.reserve(bookSize);
    QObject::connect(&connector, &CTIConnector::addressAdded, [&](Addresses *address) { kept.append(address); });
    const auto feed = [&](const QString &frame) {
        QMetaObject::invokeMethod(&connector, "onMessage", Qt::DirectConnection, Q_ARG(QString, frame));
    };
    // One page first, so that whatever is made once (log writer, caches) is not counted.
    feed(pages.first());
    qDeleteAll(kept);
    kept.clear();

    Measurement::releaseFreeMemory();
    const qint64 heapBefore = Measurement::heapInUse();
    const qint64 residentBefore = Measurement::residentKiB(QCoreApplication::applicationPid());
    for (const QString &frame : qAsConst(pages))
        feed(frame);
    const qint64 heapAfter = Measurement::heapInUse();
    const qint64 residentAfter = Measurement::residentKiB(QCoreApplication::applicationPid());
    const int records = kept.size();
    qDeleteAll(kept);
    if (records != bookSize)
        return {-1, -1, -1};
    return {double(heapAfter - heapBefore) / records, (residentAfter - residentBefore) * 1024.0 / records,
            double(jsonBytes) / records};
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], bareDialogOption) == 0)
        return runBareDialog(argc, argv);

    QCoreApplication app(argc, argv);
    Measurement::discardStandardError();
    const int runs = Measurement::runCount(argc, argv, 3);

    DemoServerProcess server(QStringLiteral(CTI_DEMO_SERVER));
    if (!server.start()) {
        Measurement::print(QStringLiteral("memory"), QStringLiteral("FAILED: ") + server.errorString());
        return 1;
    }
    QVector<double> tool, bare, heap, resident;
    double json = 0;
    for (int run = 0; run < runs; ++run) {
        tool.append(peakOfDiagnosticTool(server) / 1024.0);
        bare.append(peakOfBareDialog(server) / 1024.0);
        const RecordFigures figures = recordsOfBook();
        heap.append(figures.heapPerRecord);
        resident.append(figures.residentPerRecord);
        json = figures.jsonPerEntry;
        const QString failure = tool.last() < 0 ? QStringLiteral("diagnostic-tool did not log in")
                                : bare.last() < 0 ? QStringLiteral("the bare dialog did not log in")
                                : json < 0        ? QStringLiteral("the book did not come in whole")
                                                  : QString();
        if (!failure.isEmpty()) {
            Measurement::print(QStringLiteral("memory"), QStringLiteral("FAILED: ") + failure);
            return 1;
        }
    }
    using Measurement::median;
    Measurement::print(QStringLiteral("4. memory (median of %1)").arg(runs), QString());
    Measurement::printRatio(QStringLiteral("   diagnostic-tool logged in, peak RSS"), median(tool), median(bare), 0,
                            QStringLiteral("MiB"), QStringLiteral("bare dialog"));
    Measurement::printRatio(QStringLiteral("   heap per Addresses record held"), median(heap), json, 0,
                            QStringLiteral("bytes"), QStringLiteral("its JSON text"));
    Measurement::print(QStringLiteral("   resident growth per record held"), QStringLiteral("%1 bytes").arg(median(resident), 0, 'f', 0));
    return 0;
}
