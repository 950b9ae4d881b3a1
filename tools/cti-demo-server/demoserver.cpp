#include "demoserver.h"

#include "demodata.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>
#include <QWebSocket>
#include <QWebSocketServer>

#include <cstdio>

// Resources of a static library are only linked in when something names them.
static void initDemoDataResource()
{
    Q_INIT_RESOURCE(demodata);
}

namespace {

const QString endpointPath = QStringLiteral("/cti");
const int longestPrintedFrame = 2000;

QJsonValue masked(const QJsonValue &value)
{
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        for (auto it = array.begin(); it != array.end(); ++it)
            *it = masked(*it);
        return array;
    }
    if (!value.isObject())
        return value;
    QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == QLatin1String("pass") || it.key() == QLatin1String("token"))
            *it = QStringLiteral("****");
        else if (it->isObject() || it->isArray())
            *it = masked(*it);
    }
    return object;
}

QString shortened(const QString &text)
{
    if (text.size() <= longestPrintedFrame)
        return text;
    return text.left(longestPrintedFrame)
           + QStringLiteral(" ... (%1 characters)").arg(text.size());
}

QJsonObject envelope(const QString &type, const QString &name, const QString &uuid,
                     const QJsonObject &payload)
{
    return {{"type", type}, {"name", name}, {"uuid", uuid}, {"data", payload}};
}

QString newUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

DemoServer::DemoServer(QObject *parent)
    : QObject(parent),
      server(new QWebSocketServer(QStringLiteral("cti-demo-server"),
                                  QWebSocketServer::NonSecureMode, this)),
      dataSet(std::make_unique<DemoData>())
{
    initDemoDataResource();
    loadData(QStringLiteral(":/cti-demo-server/demodata.json"));
    connect(server, &QWebSocketServer::newConnection, this, &DemoServer::onNewConnection);
}

DemoServer::~DemoServer()
{
    for (QWebSocket *client : qAsConst(clients))
        client->disconnect(this);
    qDeleteAll(clients);
}

bool DemoServer::listen(quint16 port)
{
    server->close();
    if (!server->listen(QHostAddress::LocalHost, port))
        return false;
    listenPort = server->serverPort();
    return true;
}

QUrl DemoServer::url() const
{
    return QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(listenPort).arg(endpointPath));
}

QString DemoServer::errorString() const
{
    return server->errorString();
}

void DemoServer::close()
{
    server->close();
    dropConnections();
}

void DemoServer::setCredentials(const QString &user, const QString &password)
{
    acceptedUser = user;
    acceptedPassword = password;
}

bool DemoServer::setRefusing(bool refusing)
{
    if (refusing) {
        server->close();
        return true;
    }
    if (server->isListening())
        return true;
    return listenPort != 0 && server->listen(QHostAddress::LocalHost, listenPort);
}

void DemoServer::dropConnections()
{
    const QList<QWebSocket *> dropped = clients;
    for (QWebSocket *client : dropped) {
        client->abort();
        onClientGone(client);
    }
}

void DemoServer::sendText(const QString &frame)
{
    printText(QStringLiteral("->"), frame);
    for (QWebSocket *client : qAsConst(clients))
        client->sendTextMessage(frame);
}

void DemoServer::sendBinary(const QByteArray &frame)
{
    print(QStringLiteral("-> binary frame of %1 bytes").arg(frame.size()));
    for (QWebSocket *client : qAsConst(clients))
        client->sendBinaryMessage(frame);
}

void DemoServer::sendResponse(const QString &name, const QJsonObject &payload)
{
    send(clients, envelope(QStringLiteral("response"), name, newUuid(), payload));
}

void DemoServer::sendEvent(const QString &name, const QJsonObject &payload)
{
    send(clients, envelope(QStringLiteral("event"), name, newUuid(), payload));
}

void DemoServer::setReply(const QString &command, const QJsonObject &payload)
{
    replies.insert(command, payload);
}

QList<QJsonObject> DemoServer::received(const QString &name) const
{
    QList<QJsonObject> commands;
    for (const QJsonObject &frame : frames) {
        if (frame.value("type").toString() == QLatin1String("command")
            && frame.value("name").toString() == name) {
            commands.append(frame);
        }
    }
    return commands;
}

bool DemoServer::loadData(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && dataSet->load(file.readAll());
}

void DemoServer::setBookSize(const QString &bookId, int count)
{
    dataSet->setBookSize(bookId, count);
}

bool DemoServer::pushEvent(const QString &name)
{
    const std::optional<QJsonObject> payload = dataSet->nextEvent(name);
    if (!payload)
        return false;
    sendEvent(name, *payload);
    return true;
}

QStringList DemoServer::eventNames()
{
    return DemoData::eventNames();
}

void DemoServer::onNewConnection()
{
    while (QWebSocket *client = server->nextPendingConnection()) {
        const QString peer = QStringLiteral("%1:%2").arg(client->peerAddress().toString())
                                     .arg(client->peerPort());
        if (client->requestUrl().path() != endpointPath) {
            print(QStringLiteral("closing connection from %1 to unknown path %2")
                          .arg(peer, client->requestUrl().path()));
            connect(client, &QWebSocket::disconnected, client, &QObject::deleteLater);
            client->close(QWebSocketProtocol::CloseCodePolicyViolated,
                          QStringLiteral("no such endpoint"));
            continue;
        }
        clients.append(client);
        connect(client, &QWebSocket::textMessageReceived, this,
                [this, client](const QString &text) { onTextMessage(client, text); });
        connect(client, &QWebSocket::disconnected, this, [this, client] { onClientGone(client); });
        // Where the close frame is taken in.
        connect(client, &QWebSocket::aboutToClose, this, [this, client] {
            closeCode = client->closeCode();
            closeReason = client->closeReason();
        });
        print(QStringLiteral("client %1 connected").arg(peer));
    }
}

void DemoServer::onTextMessage(QWebSocket *client, const QString &text)
{
    const QJsonObject frame = QJsonDocument::fromJson(text.toUtf8()).object();
    if (frames.size() >= historyLimit)
        frames.removeFirst();
    frames.append(frame);
    printText(QStringLiteral("<-"), text);
    // Receivers may still change the answer, for example with setReply.
    emit commandReceived(frame);

    if (!answering || !clients.contains(client)
        || frame.value("type").toString() != QLatin1String("command")) {
        return;
    }
    const QString name = frame.value("name").toString();
    const QJsonValue uuid = frame.value("uuid");
    send({client}, envelope(QStringLiteral("response"), name,
                            uuid.isString() ? uuid.toString() : newUuid(),
                            answerTo(name, frame.value("data").toObject())));
}

void DemoServer::onClientGone(QWebSocket *client)
{
    // The last frame, a client's close, can arrive with the disconnection and wait in the
    // socket for the read that is queued to the WebSocket. QWebSocketServer deletes the socket
    // (deleteLater) when it disconnects, and whoever runs deferred deletions first, as QTest's
    // waits do, would lose that frame: it is read now.
    QCoreApplication::sendPostedEvents(client, QEvent::MetaCall);
    if (!clients.removeOne(client))
        return;
    client->deleteLater();
    print(QStringLiteral("client disconnected"));
}

QJsonObject DemoServer::answerTo(const QString &command, const QJsonObject &request)
{
    const auto reply = replies.constFind(command);
    if (reply != replies.constEnd())
        return reply.value();
    if (command == QLatin1String("requestProtocolVersion")) {
        QJsonObject answer;
        if (!protocolVersion.isUndefined())
            answer.insert("protocol_version", protocolVersion);
        return answer;
    }
    if (command == QLatin1String("login"))
        return {{"status", credentialsMatch(request, QStringLiteral("pass")) ? 200 : 401}};
    if (command == QLatin1String("tapimultiuserlogin"))
        return {{"status", credentialsMatch(request, QStringLiteral("token")) ? 200 : 401}};
    return dataSet->answer(command, request).value_or(QJsonObject());
}

bool DemoServer::credentialsMatch(const QJsonObject &request, const QString &secretKey) const
{
    const QJsonValue secret = request.value(secretKey);
    return request.value("user").toString() == acceptedUser && secret.isString()
           && secret.toString() == acceptedPassword;
}

void DemoServer::send(const QList<QWebSocket *> &targets, const QJsonObject &frame)
{
    printFrame(QStringLiteral("->"), frame);
    const QString text = QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact));
    for (QWebSocket *client : targets)
        client->sendTextMessage(text);
}

void DemoServer::print(const QString &line) const
{
    if (!verbose)
        return;
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void DemoServer::printText(const QString &direction, const QString &text) const
{
    if (!verbose)
        return;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (document.isObject())
        printFrame(direction, document.object());
    else
        print(direction + QLatin1Char(' ') + shortened(text));
}

void DemoServer::printFrame(const QString &direction, const QJsonObject &frame) const
{
    if (!verbose)
        return;
    const QJsonDocument document(masked(frame).toObject());
    print(direction + QLatin1Char(' ')
          + shortened(QString::fromUtf8(document.toJson(QJsonDocument::Compact))));
}
