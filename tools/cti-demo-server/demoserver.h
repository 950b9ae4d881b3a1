#pragma once

#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QUrl>
#include <QWebSocketProtocol>

#include <memory>

class DemoData;
class QWebSocket;
class QWebSocketServer;

// A CTI server on ws://127.0.0.1:<port>/cti. It answers the client's handshake and commands
// from its data set, pushes events on demand, records what it receives, and can misbehave on
// purpose (refuse, drop, stay silent, send anything) for the client's tests.
class DemoServer : public QObject
{
    Q_OBJECT

public:
    explicit DemoServer(QObject *parent = nullptr);
    ~DemoServer() override;

    // Port 0 picks a free port.
    bool listen(quint16 port = 0);
    // The port last listened on, also while refusing.
    quint16 port() const { return listenPort; }
    QUrl url() const;
    // Why the last listen failed.
    QString errorString() const;
    void close();

    // Undefined leaves "protocol_version" out of the answer.
    void setProtocolVersion(const QJsonValue &version) { protocolVersion = version; }
    void setCredentials(const QString &user, const QString &password);

    // Refusing stops listening, so that connection attempts fail at once; open connections
    // stay. Returns false when listening again on the same port fails.
    bool setRefusing(bool refusing);
    void dropConnections();
    // While not answering, commands are still recorded.
    void setAnswering(bool on) { answering = on; }
    void sendText(const QString &frame);
    void sendBinary(const QByteArray &frame);
    void sendResponse(const QString &name, const QJsonObject &data);
    void sendEvent(const QString &name, const QJsonObject &data);
    // Replaces the data of every answer to command.
    void setReply(const QString &command, const QJsonObject &data);
    void clearReplies() { replies.clear(); }

    // The text frames received lately (the last historyLimit), oldest first; one that is no
    // JSON object is kept as an empty object.
    QList<QJsonObject> received() const { return frames; }
    // The commands named name, in order.
    QList<QJsonObject> received(const QString &name) const;
    void clearReceived() { frames.clear(); }
    int clientCount() const { return clients.size(); }
    // How the last client that closed its connection did so; 1005 (no status) before any.
    int lastCloseCode() const { return closeCode; }
    QString lastCloseReason() const { return closeReason; }

    // A demo runs for hours: older frames are forgotten.
    static constexpr int historyLimit = 1000;

    bool loadData(const QString &path);
    void setBookSize(const QString &bookId, int count);
    // Applies the next change of that kind to the data set and tells every client; false when
    // there is no such event or nothing to change.
    bool pushEvent(const QString &name);
    static QStringList eventNames();

    // Prints every frame to standard output, credentials masked.
    void setVerbose(bool on) { verbose = on; }

signals:
    // For every text frame, as recorded, before it is answered.
    void commandReceived(const QJsonObject &frame);

private:
    void onNewConnection();
    void onTextMessage(QWebSocket *client, const QString &text);
    void onClientGone(QWebSocket *client);
    QJsonObject answerTo(const QString &command, const QJsonObject &request);
    bool credentialsMatch(const QJsonObject &request, const QString &secretKey) const;
    void send(const QList<QWebSocket *> &targets, const QJsonObject &frame);
    void print(const QString &line) const;
    // Frames that are JSON objects are printed masked, anything else as it is.
    void printText(const QString &direction, const QString &text) const;
    void printFrame(const QString &direction, const QJsonObject &frame) const;

    QWebSocketServer *server;
    QList<QWebSocket *> clients;
    quint16 listenPort = 0;
    QJsonValue protocolVersion = 2.0;
    QString acceptedUser = QStringLiteral("demo");
    QString acceptedPassword = QStringLiteral("demo");
    bool answering = true;
    bool verbose = false;
    QHash<QString, QJsonObject> replies;
    QList<QJsonObject> frames;
    int closeCode = QWebSocketProtocol::CloseCodeMissingStatusCode;
    QString closeReason;
    std::unique_ptr<DemoData> dataSet;
};
