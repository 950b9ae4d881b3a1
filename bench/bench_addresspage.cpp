// One address page of 10,000 entries: from the frame's arrival at the connector to the last
// addressAdded, against QJsonDocument::fromJson of the same bytes alone, plus where the time goes.
// All in one thread, so its CPU time is the measure: it equals the wall time on an idle machine
// and stays steady on a busy one.

#include "bareclient.h"
#include "cticonnector.h"
#include "demoserver.h"
#include "measurement.h"
#include "settingsfolder.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTimer>

namespace {

constexpr int pageSize = 10000;

// The first page of a generated book, exactly as the demo server sends it.
QString capturePage()
{
    DemoServer server;
    server.setBookSize(QStringLiteral("big"), pageSize);
    if (!server.listen())
        return QString();
    BareClient client;
    QString first;
    if (client.open(server.url()))
        client.readBook(QStringLiteral("big"), [&](const QString &frame, int) {
            if (first.isEmpty())
                first = frame;
        });
    return first;
}

// Milliseconds from handing the frame to the connector to the last addressAdded. The receiver
// keeps the records and deletes them after the clock has stopped.
double handlePage(CTIConnector &connector, const QString &frame)
{
    QVector<Addresses *> kept;
    kept.reserve(pageSize);
    Measurement::ThreadClock clock;
    double lastSignal = -1;
    const auto connection = QObject::connect(&connector, &CTIConnector::addressAdded, [&](Addresses *address) {
        kept.append(address);
        if (kept.size() == pageSize)
            lastSignal = clock.elapsed();
    });
    clock.start();
    QMetaObject::invokeMethod(&connector, "onMessage", Qt::DirectConnection, Q_ARG(QString, frame));
    QObject::disconnect(connection);
    qDeleteAll(kept);
    return lastSignal;
}

// Milliseconds of emitting a page's addressAdded signals alone, to the same kind of receiver.
double emitPage(CTIConnector &connector)
{
    Addresses address;
    QVector<Addresses *> kept;
    kept.reserve(pageSize);
    const auto connection = QObject::connect(&connector, &CTIConnector::addressAdded,
                                             [&](Addresses *announced) { kept.append(announced); });
    const double ms = Measurement::cpuMilliseconds([&] {
        for (int entry = 0; entry < pageSize; ++entry)
            emit connector.addressAdded(&address);
    });
    QObject::disconnect(connection);
    return ms;
}

void quietHandler(QtMsgType, const QMessageLogContext &, const QString &)
{
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Measurement::discardStandardError();
    const int runs = Measurement::runCount(argc, argv, 9);

    SettingsFolder settings(0); // keeps the client off the machine's own settings; it never connects
    const QString frame = capturePage();
    if (frame.isEmpty()) {
        Measurement::print(QStringLiteral("address page"), QStringLiteral("FAILED: no page from the demo server"));
        return 1;
    }
    const QByteArray bytes = frame.toUtf8();
    CTIConnector connector;
    connector.findChild<QTimer *>("reconnectTimer")->stop();

    QVector<double> baseline, full, fullQuiet, parse, logged, loggedQuiet, signalled;
    for (int run = 0; run <= runs; ++run) {
        const double fromJson = Measurement::cpuMilliseconds([&] { QJsonDocument::fromJson(bytes); });
        const double whole = handlePage(connector, frame);
        qInstallMessageHandler(quietHandler);
        const double wholeQuiet = handlePage(connector, frame);
        qInstallMessageHandler(nullptr);

        // The steps the connector's path is made of, each alone.
        CTIMessage message;
        const double parsing = Measurement::cpuMilliseconds([&] { message = CTIMessage(frame.toUtf8()); });
        const double logging = Measurement::cpuMilliseconds([&] { connector.printFiltered(message); });
        qInstallMessageHandler(quietHandler);
        const double loggingQuiet = Measurement::cpuMilliseconds([&] { connector.printFiltered(message); });
        qInstallMessageHandler(nullptr);
        const double signalling = emitPage(connector);

        if (whole < 0 || wholeQuiet < 0) {
            Measurement::print(QStringLiteral("address page"), QStringLiteral("FAILED: not every address announced"));
            return 1;
        }
        if (run == 0) // warm-up
            continue;
        baseline.append(fromJson);
        full.append(whole);
        fullQuiet.append(wholeQuiet);
        parse.append(parsing);
        logged.append(logging);
        loggedQuiet.append(loggingQuiet);
        signalled.append(signalling);
    }

    using Measurement::median;
    Measurement::print(QStringLiteral("2. address page of %1 entries, %2 bytes (median of %3)")
                               .arg(pageSize).arg(bytes.size()).arg(runs),
                       QString());
    Measurement::printRatio(QStringLiteral("   arrival to last addressAdded"), median(full), median(baseline), 3);
    Measurement::printRatio(QStringLiteral("   the same, no-op message handler"), median(fullQuiet), median(baseline), 3);
    const auto line = [](const QString &label, double ms) {
        Measurement::print(label, QStringLiteral("%1 ms").arg(ms, 0, 'f', 2));
    };
    line(QStringLiteral("   parsing (UTF-8 and the envelope)"), median(parse));
    line(QStringLiteral("   log line, no-op message handler"), median(loggedQuiet));
    line(QStringLiteral("   log line: Qt's default message output"), median(logged) - median(loggedQuiet));
    line(QStringLiteral("   conversion and records"), median(full) - median(parse) - median(logged) - median(signalled));
    line(QStringLiteral("   signals (10,000 addressAdded)"), median(signalled));
    return 0;
}
