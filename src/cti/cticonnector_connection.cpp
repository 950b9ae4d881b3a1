// The connector's socket lifecycle, reconnect machinery and message transport.

#include "cticonnector.h"

#include "boundedjsonwriter.h"
#include "logger.h"
#include "uptime.h"

#include <QMessageLogger>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

CTIConnector::CTIConnector(QObject *parent)
    : QObject(parent)
    , reconnectTimer(new QTimer(this))
    , clock(uptimeMilliseconds)
    , lastCheckAt(clock())
    , resumeWatch(new QTimer(this))
{
    reconnectTimer->setObjectName(QStringLiteral("reconnectTimer"));
    connect(reconnectTimer.data(), &QTimer::timeout, this, &CTIConnector::checkReconnect);
    reconnectTimer->start(reconnectCheckInterval);
    resumeWatch->setObjectName(QStringLiteral("resumeWatch"));
    resumeWatch->setSingleShot(true);
    connect(resumeWatch, &QTimer::timeout, this, [this] {
        if (loggedIn && unansweredPings > 0)
            dropSilentConnection();
    });
}

void CTIConnector::setReconnectCheckInterval(int milliseconds)
{
    reconnectCheckInterval = milliseconds;
    reconnectTimer->start(reconnectCheckInterval);
}

void CTIConnector::setClock(std::function<qint64()> milliseconds)
{
    clock = std::move(milliseconds);
    lastCheckAt = clock();
}

// The socket is left alone: the dialog stops the connector before the process ends.
CTIConnector::~CTIConnector() = default;

CTIConnector *CTIConnector::instance()
{
    static CTIConnector connector;
    return &connector;
}

void CTIConnector::loadSettings()
{
    settings.loadData();
    Logger::instance().setFileLogging(settings.getLogger());
}

void CTIConnector::reportStatus(const QString &text)
{
    // Also in the log, so the log file tells the history that the dialog only shows the end of.
    Logger::verbose(QVariant(QStringLiteral("status: ") + text), Q_FUNC_INFO);
    emit clientState(text);
    loadSettings();
    settings.setMessage(text);
    settings.synchronize();
}

void CTIConnector::login()
{
    stop();
    loadSettings();
    server = settings.getServer();
    userName = settings.getUserName();
    password = settings.getPassword();
    port = settings.getPort();

    socket = new QWebSocket(QString(), QWebSocketProtocol::Version13);
    unansweredPings = 0;
    connect(socket, &QWebSocket::pong, this, &CTIConnector::onPong);
    connect(socket, &QWebSocket::connected, this, &CTIConnector::onSocketConnected);
    connect(socket, &QWebSocket::textMessageReceived, this, &CTIConnector::onMessage);
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    connect(socket, &QWebSocket::errorOccurred, this, &CTIConnector::onSocketError);
#else
    connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this, &CTIConnector::onSocketError);
#endif
    connect(socket, &QWebSocket::disconnected, this, &CTIConnector::onDisconnect);

    QMessageLogger().debug() << "cti from thread " << QThread::currentThread();
    const QUrl url(QStringLiteral("ws://") + server + QLatin1Char(':') + QString::number(port) + QStringLiteral("/cti"),
                   QUrl::TolerantMode);
    Logger::verbose(QVariant(QStringLiteral("login to: ") + url.toString()), Q_FUNC_INFO);
    reportStatus(QStringLiteral("Trying to connect to server ..."));
    // Opened from the event loop, after the status: an open can fail inside itself (an invalid
    // URL, or a refused connection under Wine), and its error must neither come before that
    // status nor call back into a caller that is still inside login().
    // A socket replaced meanwhile is not opened; it is deleted only after this call has passed.
    QMetaObject::invokeMethod(
        this, [this, opening = socket, url] {
            if (opening != socket)
                return;
            opening->open(url);
            // Any bytes from the server show that the connection lives, not only a pong: on a slow
            // link the pong waits behind what the server sent before it, and the WebSocket
            // announces a frame only once it is complete. The WebSocket creates its TCP socket as
            // its child in open(). Listening to that socket's readyRead is safe: reading is left
            // to the WebSocket, so every byte still reaches its frame reader, and the connection
            // ends with the socket.
            if (auto *transport = opening->findChild<QAbstractSocket *>())
                connect(transport, &QIODevice::readyRead, this, &CTIConnector::connectionAlive);
        },
        Qt::QueuedConnection);
    settings.setChanged(false);
    settings.synchronize();
}

void CTIConnector::stop()
{
    Logger::verbose("onStop", Q_FUNC_INFO);
    if (!socket)
        return;
    stopRequested = true;
    resumeWatch->stop();
    reportStatus(QStringLiteral("Disconnected from server"));
    loggedIn = false;
    socketConnected = false;
    // Cut the signals first so closing never reaches onDisconnect. Deferred deletion: stop()
    // may run inside one of the socket's own signals (a receiver of loginFailedSignal that
    // logs in again from onSocketError).
    QWebSocket *closing = socket;
    socket = nullptr;
    closing->disconnect();
    // Only an open connection can take the closing handshake; the server sees the close frame a
    // socket destroyed at once would send. The socket goes once the frame is out: destroyed
    // sooner, it would drop a frame still waiting to be written (seen under Wine).
    if (closing->state() == QAbstractSocket::ConnectedState) {
        connect(closing, &QWebSocket::disconnected, closing, &QObject::deleteLater);
        QTimer::singleShot(closeTimeout, closing, &QObject::deleteLater);
        closing->close(QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("Connection closed"));
    } else {
        closing->abort();
        closing->deleteLater();
    }
}

void CTIConnector::onSocketConnected()
{
    Logger::verbose("onSocketConnected", Q_FUNC_INFO);
    reportStatus(QStringLiteral("Connected to server"));
    requestProtocolVersion();
    socketConnected = true;
    silentReconnectCount = 0;
}

void CTIConnector::onSocketError(QAbstractSocket::SocketError)
{
    Logger::verbose("SOCKET ERROR", Q_FUNC_INFO);
    reportStatus(QStringLiteral("Error connecting to server"));
    if (!socketConnected && hasLoggedIn)
        manageReconnect();
}

void CTIConnector::onDisconnect()
{
    Logger::verbose("onDisconnect", Q_FUNC_INFO);
    reportStatus(QStringLiteral("Disconnected from server"));
    loggedIn = false;
    socketConnected = false;
    if (hasLoggedIn)
        manageReconnect();
}

void CTIConnector::manageReconnect()
{
    if (stopRequested) {
        stopRequested = false;
        return;
    }
    if (silentReconnectCount == 0) {
        Logger::verbose("SILENT RECONNECT START", Q_FUNC_INFO);
    } else if (silentReconnectCount < silentReconnectLimit) {
        Logger::verbose(QVariant(QStringLiteral("WAIT FOR NEXT SILENT: ") + QString::number(silentReconnectCount)),
                        Q_FUNC_INFO);
    } else {
        Logger::verbose("SILENT RECONNECT NO SUCCESS", Q_FUNC_INFO);
        Logger::verbose("DISCONNECT", Q_FUNC_INFO);
    }
    reportReconnectFailure();
}

void CTIConnector::reportReconnectFailure()
{
    reportStatus(QStringLiteral("Couldn't reconnect to server"));
    emit loginFailedSignal();
}

void CTIConnector::checkReconnect()
{
    // Much later than due, the machine slept: a connection may have died without a word.
    const qint64 now = clock();
    const bool afterSleep = now - lastCheckAt > 2 * qint64(reconnectCheckInterval);
    lastCheckAt = now;
    QMessageLogger().debug() << "checkReconnect";
    loadSettings();
    if (settings.isChanged() || !loggedIn) {
        QMessageLogger().debug().nospace() << "reconnecting for reason: dataChanged=" << settings.isChanged()
                                           << " ; loggedIn=" << int(loggedIn);
        login();
        return;
    }
    watchConnection(afterSleep);
}

void CTIConnector::watchConnection(bool afterSleep)
{
    // A half-open connection (a server gone without closing it, a dropped NAT entry) never
    // reports itself; only a ping that stays unanswered shows it.
    if (unansweredPings >= unansweredPingLimit) {
        dropSilentConnection();
        return;
    }
    sendPing();
    if (afterSleep)
        resumeWatch->start(resumePongTimeout);
}

void CTIConnector::dropSilentConnection()
{
    Logger::verbose(QVariant(QStringLiteral("no answer to ping for ")
                             + QString::number((clock() - firstUnansweredPingAt) / 1000) + QStringLiteral(" s")),
                    Q_FUNC_INFO);
    unansweredPings = 0;
    resumeWatch->stop();
    // As any lost connection: onDisconnect reports it, and the next check logs in again.
    socket->abort();
}

void CTIConnector::reconnect()
{
    Logger::verbose("reconnect", Q_FUNC_INFO);
    login();
}

void CTIConnector::silentReconnect()
{
    QMessageLogger().debug() << "silent shot";
    ++silentReconnectCount;
    Logger::verbose("reconnect", Q_FUNC_INFO);
    login();
}

void CTIConnector::sendMessage(CTIMessage &message)
{
    if (!socket || !socket->isValid()) {
        Logger::verbose("websocket not open", Q_FUNC_INFO);
        return;
    }
    socket->sendTextMessage(QString::fromUtf8(message.toJson()));
    socket->flush();
    Logger::verbose("sendMessage", Q_FUNC_INFO);
    printFiltered(message);
}

void CTIConnector::printFiltered(CTIMessage &message)
{
    const QString masked = QStringLiteral("****");
    if (message.contains(QStringLiteral("pass"))) {
        message.setValue(QStringLiteral("user"), masked);
        message.setValue(QStringLiteral("pass"), masked);
    }
    if (message.contains(QStringLiteral("token"))) {
        message.setValue(QStringLiteral("token"), masked);
        message.setValue(QStringLiteral("user"), masked);
    }
    // Only as much as a log line carries: a page of addresses is megabytes of JSON, and writing
    // all of it only to cut it would take longer than reading it did.
    BoundedJsonWriter writer(Logger::maxMessageBytes - Logger::maxMarkerLength);
    writer.writeDocument(message.envelope());
    QString text = QString::fromUtf8(writer.text());
    // Values left out whole are counted, not written; the rest of a last value is counted in bytes.
    if (writer.valuesLeftOut() > 0)
        text += Logger::leftOutMarker(writer.valuesLeftOut(), QStringLiteral("values"));
    else if (writer.isCut())
        text += Logger::leftOutMarker(writer.bytesLeftOut(), QStringLiteral("bytes"));
    Logger::verbose(QVariant(text), Q_FUNC_INFO);
}

void CTIConnector::onMessage(QString msg)
{
    CTIMessage message(msg.toUtf8());
    if (message.type() == CTIMessage::Event)
        handleEvent(message);
    else if (message.type() == CTIMessage::Response)
        handleResponse(message);
}

void CTIConnector::enqueue(const CTIMessage &message)
{
    {
        QMutexLocker lock(&sendQueueMutex);
        sendQueue.append(message);
    }
    QMetaObject::invokeMethod(this, &CTIConnector::checkSendQueue, Qt::QueuedConnection);
}

void CTIConnector::checkSendQueue()
{
    QMutexLocker lock(&sendQueueMutex);
    while (!sendQueue.isEmpty()) {
        CTIMessage message = sendQueue.takeFirst();
        sendMessage(message);
    }
}

void CTIConnector::sendPing()
{
    QMessageLogger().debug() << "SEND_PING";
    if (!socket)
        return;
    if (unansweredPings++ == 0)
        firstUnansweredPingAt = clock();
    socket->ping(QByteArray());
}

void CTIConnector::onPong(qulonglong, QByteArray)
{
    Logger::verbose("onPong", Q_FUNC_INFO);
    connectionAlive();
}

void CTIConnector::connectionAlive()
{
    // Any answer will do: the server is there, however slow.
    unansweredPings = 0;
    resumeWatch->stop();
}
