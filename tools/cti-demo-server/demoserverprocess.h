#pragma once

#include <QProcess>
#include <QStringList>
#include <QUrl>

// The demo server program in a process of its own on a free port of 127.0.0.1, for what needs a
// real separate server: benchmarks, and tests of a server that stops answering. Its frame log
// goes to the null device, so writing it costs the server as little as it can.
class DemoServerProcess
{
public:
    explicit DemoServerProcess(const QString &program, const QStringList &arguments = QStringList());
    ~DemoServerProcess();

    // Waits until the server accepts connections; false (with a reason) otherwise.
    bool start();
    QString errorString() const { return error; }
    quint16 port() const { return listenPort; }
    QUrl url() const;

    // Stops every thread of the server and lets them go on again, as a debugger or a frozen
    // machine would: its connections stay open, and nobody answers on them.
    bool suspend();
    bool resume();

private:
    QProcess process;
    QString programPath;
    QStringList extraArguments;
    quint16 listenPort = 0;
    QString error;
};
