#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// A TCP relay on 127.0.0.1 to a server's port, a slow link for one client: what the client sends
// passes at once, what the server sends reaches the client at a fixed rate, in order, so that a
// pong waits behind whatever the server sent before it.
class PacedLink : public QObject
{
public:
    PacedLink(quint16 serverPort, int bytesPerSecond);

    bool listen() { return listener.listen(QHostAddress::LocalHost); }
    quint16 port() const { return listener.serverPort(); }

private:
    QTcpServer listener;
    QTcpSocket server;
    QTcpSocket *client = nullptr; // the listener's child
    QByteArray toClient;          // received from the server, not yet passed on
    QTimer ticks;
};
