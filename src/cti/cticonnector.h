#pragma once

#include "configurationdata.h"
#include "ctimessage.h"

#include "addressbook.h"
#include "addresses.h"
#include "forwardpreset.h"
#include "line.h"
#include "phone.h"
#include "queue.h"
#include "tapiuser.h"
#include "ucitem.h"
#include "user.h"

#include <QAbstractSocket>
#include <QImage>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPixmap>
#include <QSharedPointer>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class QTimer;
class QWebSocket;

// The CTI client: owns the WebSocket to the server, logs in, keeps the connection alive,
// sends the command vocabulary and turns responses and events into records and signals.
// Everything runs on the thread that created it; only enqueue() may be called from others.
class CTIConnector : public QObject
{
    Q_OBJECT

public:
    explicit CTIConnector(QObject *parent = nullptr);
    ~CTIConnector() override;

    // The one connector of the process, created by the first call on the calling thread.
    static CTIConnector *instance();

    void sendMessage(CTIMessage &message);
    // Logs a message with "pass", "token" and "user" masked; alters the message.
    void printFiltered(CTIMessage &message);
    // Thread-safe: the message is sent from the connector's thread, in queue order.
    void enqueue(const CTIMessage &message);
    void handleResponse(CTIMessage &message);
    void handleEvent(CTIMessage &message);

    // The records the connector keeps; it never deletes them.
    const QMap<QString, Line *> &storedLines() const { return lines; }
    const QMap<QString, User *> &storedBuddies() const { return jabberBuddies; }
    const QMap<QString, Phone *> &storedPhones() const { return phones; }
    const QMap<QString, Queue *> &storedQueues() const { return queues; }
    const QList<QSharedPointer<TapiUser>> &storedTapiUsers() const { return tapiUsers; }
    bool isCtiAnswerSupported() const { return ctiAnswerSupported; }

    // Timing, in milliseconds: the defaults are for real use, tests make them short. While
    // logged in, every reconnect check pings the server; a connection whose pings have gone
    // unanswered for two checks in a row, or for resumePongTimeout after a check that came late
    // (the machine slept), counts as lost. Setting the interval (re)starts the checks.
    void setReconnectCheckInterval(int milliseconds);
    void setResumePongTimeout(int milliseconds) { resumePongTimeout = milliseconds; }
    // Milliseconds on a clock that keeps counting while the machine sleeps; tests move it on.
    void setClock(std::function<qint64()> milliseconds);

signals:
    void clientState(QString msg);
    void reconnectSuccess();
    void reconnectFailed();
    void connectFailed();
    void loginSuccessSignal();
    void loginFailedSignal();
    void lineOpenend(Line *line);
    void lineChanged(QVariantMap lineData);
    void lineClosed(Line *line);
    void jabberBuddyAdded(User *buddy);
    void jabberBuddyChanged(User *buddy);
    void jabberBuddyDeleted(User *buddy);
    void phoneAdded(Phone *phone);
    void phoneChanged(Phone *phone);
    void queueAdded(Queue *queue);
    void queueChanged(Queue *queue);
    void ucItemAdded(UCItem *item);
    void forwardPresetAdded(ForwardPreset *preset);
    void activeForwardPresetChanged(QString id);
    void dialPrefixChanged(QString id);
    void addressBookAdded(Addressbook *);
    void addressAdded(Addresses *);
    void addressSaved(Addresses *);
    void addressDeleted(QString id);
    void addressPictureSet(QString id);
    void contactTypesAvailable(QStringList types);
    void addressPictureAvailable(QPixmap pixmap, QString id);

public slots:
    void stop();
    void reconnect();
    void login();
    void requestTapiUsers();
    void requestJabberBuddies();
    void requestProtocolVersion();
    void requestLineStatus();
    void requestUCItems();
    void requestAddressBooks();
    void requestAddresses(QString bookId);
    void requestPhoneConfig();
    void requestLogin();
    void setActiveForwardPreset(QString id);
    void dialNumber(QString number, QString userid);
    void answer(QString id);
    void hangup(QString id, QString userid);
    void hold(QString callId);
    void holdRetrieve(QString id);
    void transfer(QString id, QString target);
    void record(QString id);
    void requestModels(QString name, QVariantMap attributes, QString sort, int limit, int offset);
    void saveAddress(Addresses *address);
    void deleteAddress(QString id);
    void requestAddressPicture(QString id);
    void saveAddressPicture(QString id, QImage image);
    void requestContactTypes();
    void loginPhone(QString id);
    void logoutPhone(QString id);
    void loginQueue(QString id);
    void logoutQueue(QString id);
    void sendPing();

private slots:
    void onPong(qulonglong elapsedTime, QByteArray payload);
    void onSocketConnected();
    void checkReconnect();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDisconnect();
    void onMessage(QString msg);
    void silentReconnect();
    void checkSendQueue();

private:
    friend class CTIConnectorResponseHandler;

    void manageReconnect();
    void reportReconnectFailure();
    void loginSuccess();
    // Emits the status and stores it as the settings' message, where the other program sees it.
    void reportStatus(const QString &text);
    // Loads the settings record and applies its logging switch to the log writer.
    void loadSettings();
    // Pings a logged-in server, or gives up on a connection that has stopped answering.
    void watchConnection(bool afterSleep);
    void dropSilentConnection();
    // Data from the server arrived: its pings count as answered.
    void connectionAlive();
    void sendSimpleCommand(const QString &name);
    void sendWithId(const QString &name, const QString &key, const QString &id);
    void sendAddressPage(const QString &bookId, int limit, int offset, bool fromOtherThread);
    void emitAddressPage(CTIMessage &message, bool fromOtherThread);

    void handleResponse_login(CTIMessage &message);
    void handleResponse_requestProtocolVersion(CTIMessage &message);
    void handleResponse_tapiGetUsers(CTIMessage &message);
    void handleResponse_requestLineStatus(CTIMessage &message);
    void handleResponse_requestUCItems(CTIMessage &message);
    void handleResponse_getAddressbooks(CTIMessage &message);
    void handleResponse_getAddresses(CTIMessage &message);
    void handleResponse_saveAddress(CTIMessage &message);
    void handleResponse_deleteAddress(CTIMessage &message);
    void handleResponse_setAddressPicture(CTIMessage &message);
    void handleResponse_getAddressPicture(CTIMessage &message);
    void handleResponse_getContactTypes(CTIMessage &message);
    void handleResponse_requestJabberBuddies(CTIMessage &message);
    void handleResponse_requestPhoneConfig(CTIMessage &message);

    void handleEvent_updateUserPresence(CTIMessage &message);
    void handleEvent_updateLineStatus(CTIMessage &message);
    void handleEvent_addressAdded(CTIMessage &message);
    void handleEvent_addressDeleted(CTIMessage &message);
    void handleEvent_contactTypesChanged(CTIMessage &message);
    void handleEvent_phoneConfigChanged(CTIMessage &message);
    void handleEvent_phoneChanged(CTIMessage &message);
    void handleEvent_queueChanged(CTIMessage &message);

    QList<QSharedPointer<TapiUser>> tapiUsers;
    bool loggedIn = false;
    bool socketConnected = false;
    bool ctiAnswerSupported = false;
    double protocolVersion = -1.0;
    QWebSocket *socket = nullptr;
    QMutex sendQueueMutex;
    QList<CTIMessage> sendQueue;
    QMap<QString, Line *> lines;
    QMap<QString, User *> jabberBuddies;
    QMap<QString, Phone *> phones;
    QMap<QString, Queue *> queues;
    QString server;
    QString userName;
    QString password;
    int port = 0;
    QSharedPointer<QTimer> reconnectTimer;
    bool hasLoggedIn = false;
    bool stopRequested = false;
    int silentReconnectCount = 0;
    int reconnectCheckInterval = 10000;
    int silentReconnectLimit = 360;
    static constexpr int unansweredPingLimit = 2;
    int resumePongTimeout = 5000;
    // The most a closed socket waits for its close frame to be written before it goes.
    static constexpr int closeTimeout = 5000;
    std::function<qint64()> clock;
    qint64 lastCheckAt = 0;
    int unansweredPings = 0;
    qint64 firstUnansweredPingAt = 0;
    QTimer *resumeWatch = nullptr;
    ConfigurationData settings;
};
