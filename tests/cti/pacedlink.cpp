#include "pacedlink.h"

PacedLink::PacedLink(quint16 serverPort, int bytesPerSecond)
{
    constexpr int tickMilliseconds = 10;
    const int bytesPerTick = bytesPerSecond * tickMilliseconds / 1000;
    connect(&listener, &QTcpServer::newConnection, this, [this, serverPort] {
        client = listener.nextPendingConnection();
        // Written before the server side is connected, the bytes wait in the socket's buffer.
        connect(client, &QTcpSocket::readyRead, this, [this] { server.write(client->readAll()); });
        server.connectToHost(QHostAddress::LocalHost, serverPort);
    });
    connect(&server, &QTcpSocket::readyRead, this, [this] { toClient += server.readAll(); });
    connect(&ticks, &QTimer::timeout, this, [this, bytesPerTick] {
        if (client && !toClient.isEmpty()) {
            client->write(toClient.left(bytesPerTick));
            toClient.remove(0, bytesPerTick);
        }
    });
    ticks.setTimerType(Qt::PreciseTimer);
    ticks.start(tickMilliseconds);
}
