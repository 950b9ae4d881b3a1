#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

// A TCP relay on 127.0.0.1 to a server's port, as a slow link: what a client sends passes at
// once, what the server sends reaches the client at a fixed rate, in order, so that a pong waits
// behind whatever the server sent before it.
class PacedLink : public QObject
{
    Q_OBJECT

public:
    PacedLink(quint16 serverPort, int bytesPerSecond, QObject *parent = nullptr);
    ~PacedLink() override;

    bool listen();
    quint16 port() const { return listener.serverPort(); }

private:
    struct Connection
    {
        QTcpSocket *client;
        QTcpSocket *server;
        QByteArray toClient; // received from the server, not yet passed on
    };

    void onNewConnection();
    void passOn();
    void close(Connection *connection);

    QTcpServer listener;
    quint16 serverPort;
    int bytesPerTick;
    QTimer ticks;
    QList<Connection *> connections;
};
