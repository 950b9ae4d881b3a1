// A book of 100,000 addresses read to the end through paging from the demo server in another
// process, against a bare client that fetches the same pages with the same requests.

#include "bareclient.h"
#include "configurationdata.h"
#include "cticonnector.h"
#include "logger.h"
#include "measurement.h"
#include "demoserverprocess.h"
#include "settingsfolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLocale>
#include <QTimer>

namespace {

constexpr int bookSize = 100000;
const QString bookId = QStringLiteral("big");

bool connectorLogin(CTIConnector &connector)
{
    QEventLoop loop;
    bool loggedIn = false;
    QObject::connect(&connector, &CTIConnector::clientState, &loop, [&](const QString &state) {
        loggedIn = state == QLatin1String("Logged in");
        if (loggedIn)
            loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    connector.login();
    loop.exec();
    return loggedIn;
}

// Milliseconds from requestAddresses to the last entry's addressAdded; -1 on a timeout. The
// receiver keeps the records and deletes them once the clock has stopped.
double connectorRead(CTIConnector &connector)
{
    QVector<Addresses *> kept;
    kept.reserve(bookSize);
    QEventLoop loop;
    QElapsedTimer clock;
    double last = -1;
    QObject::connect(&connector, &CTIConnector::addressAdded, &loop, [&](Addresses *address) {
        kept.append(address);
        if (kept.size() == bookSize) {
            last = clock.nsecsElapsed() / 1e6;
            loop.quit();
        }
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    clock.start();
    connector.requestAddresses(bookId);
    loop.exec();
    // The request after the last full page and its empty answer finish outside the clock, on
    // both sides.
    Measurement::settle(300);
    qDeleteAll(kept);
    return last;
}

double bareRead(BareClient &client)
{
    QElapsedTimer clock;
    double last = -1;
    int entries = 0;
    clock.start();
    client.readBook(bookId, [&](const QString &, int count) {
        entries += count;
        if (entries == bookSize && count > 0)
            last = clock.nsecsElapsed() / 1e6;
    });
    Measurement::settle(300);
    return last;
}

// The log file after one more read of the book with the "Logging" switch on: its size, whether
// it rolled over, and whether the login's lines before the book are still in it.
QString logFileAfterBook(CTIConnector &connector)
{
    ConfigurationData settings;
    settings.loadData();
    settings.setLogger(true);
    settings.synchronize();
    const QString path = Logger::logFilePath();
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".1"));
    if (!connectorLogin(connector) || connectorRead(connector) < 0)
        return QStringLiteral("FAILED: the book was not read to the end");
    QFile file(path);
    const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    return QStringLiteral("%1 bytes%2; the login's lines before the book %3")
        .arg(QLocale(QLocale::English).toString(file.size()))
        .arg(QFile::exists(path + QStringLiteral(".1")) ? QStringLiteral(", rolled over to .1") : QString())
        .arg(text.contains("status: Logged in") ? QStringLiteral("are still in it") : QStringLiteral("are gone"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Measurement::discardStandardError();
    const int runs = Measurement::runCount(argc, argv, 5);

    DemoServerProcess server(QStringLiteral(CTI_DEMO_SERVER), {QStringLiteral("--book-size"), QStringLiteral("%1=%2").arg(bookId).arg(bookSize)});
    if (!server.start()) {
        Measurement::print(QStringLiteral("address book"), QStringLiteral("FAILED: ") + server.errorString());
        return 1;
    }
    SettingsFolder settings(server.port());
    CTIConnector connector;
    connector.findChild<QTimer *>("reconnectTimer")->stop();
    BareClient bare;
    if (!connectorLogin(connector) || !bare.open(server.url()) || !bare.login(QStringLiteral("demo"), QStringLiteral("demo"))) {
        Measurement::print(QStringLiteral("address book"), QStringLiteral("FAILED: no login"));
        return 1;
    }

    QVector<double> subject, baseline;
    for (int run = 0; run <= runs; ++run) {
        const double client = connectorRead(connector);
        const double plain = bareRead(bare);
        if (client < 0 || plain < 0) {
            Measurement::print(QStringLiteral("address book"), QStringLiteral("FAILED: the book was not read to the end"));
            return 1;
        }
        if (run > 0) { // the first round warms up both sides
            subject.append(client);
            baseline.append(plain);
        }
    }
    Measurement::print(QStringLiteral("3. book of %1 addresses (median of %2)").arg(bookSize).arg(runs), QString());
    Measurement::printRatio(QStringLiteral("   requestAddresses to last addressAdded"), Measurement::median(subject),
                            Measurement::median(baseline), 2);
    Measurement::print(QStringLiteral("   log file after the book, logging on"), logFileAfterBook(connector));
    return 0;
}
