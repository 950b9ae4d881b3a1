// Login: from login() to the status "Logged in", against a bare client that sends the same
// two commands to the same demo server (in another process) and waits for the same answers.

#include "bareclient.h"
#include "configurationdata.h"
#include "cticonnector.h"
#include "measurement.h"
#include "demoserverprocess.h"
#include "settingsfolder.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

struct Timing
{
    double wall = -1;
    double cpu = -1; // this process's share: the client's own work
};

// Wall and CPU milliseconds of work, or -1 for both when it reports failure.
Timing timed(const std::function<bool()> &work)
{
    Measurement::ThreadClock cpu;
    cpu.start();
    bool done = false;
    const double wall = Measurement::milliseconds([&] { done = work(); });
    return done ? Timing{wall, cpu.elapsed()} : Timing();
}

// A fresh connector each time, as a program start has it.
Timing connectorLogin()
{
    auto connector = std::make_unique<CTIConnector>();
    connector->findChild<QTimer *>("reconnectTimer")->stop();
    QEventLoop loop;
    bool loggedIn = false;
    QObject::connect(connector.get(), &CTIConnector::clientState, &loop, [&](const QString &state) {
        if (state == QLatin1String("Logged in")) {
            loggedIn = true;
            loop.quit();
        }
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    const Timing timing = timed([&] {
        connector->login();
        loop.exec();
        return loggedIn;
    });
    connector->stop();
    return timing;
}

Timing bareLogin(const QUrl &url)
{
    BareClient client;
    return timed([&] { return client.open(url) && client.login(QStringLiteral("demo"), QStringLiteral("demo")); });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Measurement::discardStandardError();
    const int runs = Measurement::runCount(argc, argv, 21);

    DemoServerProcess server(QStringLiteral(CTI_DEMO_SERVER));
    if (!server.start()) {
        Measurement::print(QStringLiteral("login"), QStringLiteral("FAILED: ") + server.errorString());
        return 1;
    }
    SettingsFolder settings(server.port());

    QVector<double> subject, baseline, subjectCpu, baselineCpu;
    // The first round warms up both sides (server, sockets, first use of the settings file).
    for (int run = 0; run <= runs; ++run) {
        const Timing connector = connectorLogin();
        Measurement::settle(20);
        const Timing bare = bareLogin(server.url());
        Measurement::settle(20);
        if (connector.wall < 0 || bare.wall < 0) {
            Measurement::print(QStringLiteral("login"), QStringLiteral("FAILED: no login"));
            return 1;
        }
        if (run > 0) {
            subject.append(connector.wall);
            baseline.append(bare.wall);
            subjectCpu.append(connector.cpu);
            baselineCpu.append(bare.cpu);
        }
    }
    using Measurement::median;
    Measurement::print(QStringLiteral("1. login (median of %1)").arg(runs), QString());
    Measurement::printRatio(QStringLiteral("   login() to \"Logged in\""), median(subject), median(baseline), 1.5);
    Measurement::printRatio(QStringLiteral("   the client's CPU time in it"), median(subjectCpu), median(baselineCpu), 0);

    // Every status the client reports is also stored in the settings file: the part of a login
    // that no bare client has.
    QVector<double> loads, stores;
    ConfigurationData stored;
    for (int run = 0; run < runs; ++run) {
        loads.append(Measurement::milliseconds([&] { stored.loadData(); }));
        stored.setMessage(run % 2 ? QStringLiteral("Connected to server") : QStringLiteral("Logged in"));
        stores.append(Measurement::milliseconds([&] { stored.synchronize(); }));
    }
    Measurement::print(QStringLiteral("   settings file: one load, one store"),
                       QStringLiteral("%1 ms, %2 ms").arg(median(loads), 0, 'f', 3).arg(median(stores), 0, 'f', 3));
    return 0;
}
