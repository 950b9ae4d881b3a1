#include "pacedlink.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {
constexpr int tickMilliseconds = 10;
}

PacedLink::PacedLink(quint16 serverPort, int bytesPerSecond, QObject *parent)
    : QObject(parent)
    , serverPort(serverPort)
    , bytesPerTick(qMax(1, bytesPerSecond * tickMilliseconds / 1000))
{
    connect(&listener, &QTcpServer::newConnection, this, &PacedLink::onNewConnection);
    connect(&ticks, &QTimer::timeout, this, &PacedLink::passOn);
    ticks.setTimerType(Qt::PreciseTimer);
    ticks.start(tickMilliseconds);
}

PacedLink::~PacedLink()
{
    while (!connections.isEmpty())
        close(connections.first());
}

bool PacedLink::listen()
{
    return listener.listen(QHostAddress::LocalHost);
}

void PacedLink::onNewConnection()
{
    while (QTcpSocket *client = listener.nextPendingConnection()) {
        auto *connection = new Connection{client, new QTcpSocket(this), {}};
        connections.append(connection);
        // Written before the server side is connected, the bytes wait in the socket's buffer.
        connect(client, &QTcpSocket::readyRead, this, [connection] { connection->server->write(connection->client->readAll()); });
        connect(connection->server, &QTcpSocket::readyRead, this,
                [connection] { connection->toClient += connection->server->readAll(); });
        connect(client, &QTcpSocket::disconnected, this, [this, connection] { close(connection); });
        connect(connection->server, &QTcpSocket::disconnected, this, [this, connection] { close(connection); });
        connection->server->connectToHost(QHostAddress::LocalHost, serverPort);
    }
}

void PacedLink::passOn()
{
    for (Connection *connection : qAsConst(connections)) {
        if (connection->toClient.isEmpty())
            continue;
        connection->client->write(connection->toClient.left(bytesPerTick));
        connection->toClient.remove(0, bytesPerTick);
    }
}

void PacedLink::close(Connection *connection)
{
    if (!connections.removeOne(connection))
        return;
    connection->client->disconnect(this);
    connection->server->disconnect(this);
    connection->client->abort();
    connection->server->abort();
    connection->client->deleteLater();
    connection->server->deleteLater();
    delete connection;
}
