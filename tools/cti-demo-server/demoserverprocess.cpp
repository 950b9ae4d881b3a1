#include "demoserverprocess.h"

#include "processcontrol.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

DemoServerProcess::DemoServerProcess(const QString &program, const QStringList &arguments)
    : programPath(program)
    , extraArguments(arguments)
{
}

DemoServerProcess::~DemoServerProcess()
{
    // Nothing of the server needs a clean end, and on Windows a console program would not take
    // the close request of terminate().
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool DemoServerProcess::start()
{
    // The server prints "Listening on ..." with --port 0 too, but reading its output would mean
    // reading every frame it logs; a port known in advance lets that output go to /dev/null.
    listenPort = freePort();
    if (listenPort == 0) {
        error = QStringLiteral("no free port on 127.0.0.1");
        return false;
    }
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(programPath, extraArguments + QStringList{QStringLiteral("--port"), QString::number(listenPort)});
    if (!process.waitForStarted(5000)) {
        error = process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(30000); // a big generated book takes a moment
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, listenPort);
        if (probe.waitForConnected(200))
            return true;
        if (process.waitForFinished(50)) {
            error = QStringLiteral("the demo server ended with code %1").arg(process.exitCode());
            return false;
        }
    }
    error = QStringLiteral("the demo server does not listen on port %1").arg(listenPort);
    return false;
}

QUrl DemoServerProcess::url() const
{
    return QUrl(QStringLiteral("ws://127.0.0.1:%1/cti").arg(listenPort));
}

bool DemoServerProcess::suspend()
{
    return process.state() == QProcess::Running && setProcessSuspended(process.processId(), true);
}

bool DemoServerProcess::resume()
{
    return process.state() == QProcess::Running && setProcessSuspended(process.processId(), false);
}
