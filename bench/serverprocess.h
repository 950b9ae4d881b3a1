#pragma once

#include <QProcess>
#include <QStringList>
#include <QUrl>

// The demo server in a process of its own on a free port of 127.0.0.1. Its frame log goes to
// /dev/null, so writing it costs the server as little as it can.
class ServerProcess
{
public:
    explicit ServerProcess(const QStringList &arguments = QStringList());
    ~ServerProcess();

    // Waits until the server accepts connections; false (with a reason) otherwise.
    bool start();
    QString errorString() const { return error; }
    quint16 port() const { return listenPort; }
    QUrl url() const;

private:
    QProcess process;
    QStringList extraArguments;
    quint16 listenPort = 0;
    QString error;
};
