#pragma once

#include "cticonnector.h"
#include "demoserver.h"
#include "testenvironment.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>


// A client with its own settings file, pointed at a demo server on a free port of 127.0.0.1.
// The reconnect timer is stopped: tests drive checkReconnect themselves.
class ConnectorFixture
{
public:
    // Without a connector of its own the fixture builds a fresh one with its own settings
    // folder; a shared connector keeps the folder it was created with.
    explicit ConnectorFixture(CTIConnector *shared = nullptr);
    // Closes the connection of a connector of its own: a connector that goes leaves its socket.
    ~ConnectorFixture() { if (owned) owned->stop(); }

    // changed raises the flag as configuration-tool does for new values.
    void storeSettings(const QString &user, const QString &password, int port = -1, bool changed = false);
    // Logs in and waits for a "Logged in" of this login, not one of an earlier.
    bool login()
    {
        const int earlier = states.size();
        connector->login();
        return waitForStatus(QStringLiteral("Logged in"), 5000, earlier);
    }
    // Waits for a status text among those from the given one on.
    bool waitForStatus(const QString &text, int timeout = 5000, int from = 0)
    {
        return QTest::qWaitFor([&] { return statuses().mid(from).contains(text); }, timeout);
    }
    QStringList statuses() const
    {
        QStringList texts;
        for (const QList<QVariant> &arguments : states)
            texts.append(arguments.first().toString());
        return texts;
    }
    void checkReconnect() { QVERIFY(QMetaObject::invokeMethod(connector, "checkReconnect")); }
    // The data of every command of that name the server received.
    QList<QJsonObject> sent(const QString &name) const
    {
        QList<QJsonObject> data;
        for (const QJsonObject &frame : server.received(name))
            data.append(frame.value(QLatin1String("data")).toObject());
        return data;
    }
    // The client's open connections to the fixture's server (or to port), counted once deferred
    // deletions have run.
    int clientSockets(quint16 port = 0) const;

    std::unique_ptr<TestEnvironment> environment;
    DemoServer server;
    std::unique_ptr<CTIConnector> owned;
    CTIConnector *connector;
    QSignalSpy states;
};
