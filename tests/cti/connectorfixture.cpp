#include "connectorfixture.h"

#include "configurationdata.h"
#include "clientsockets.h"

#include <QTimer>

ConnectorFixture::ConnectorFixture(CTIConnector *shared)
    : environment(shared ? nullptr : std::make_unique<TestEnvironment>())
    , owned(shared ? nullptr : new CTIConnector)
    , connector(shared ? shared : owned.get())
    , states(connector, &CTIConnector::clientState)
{
    if (QTimer *timer = connector->findChild<QTimer *>("reconnectTimer"))
        timer->stop();
    QVERIFY(server.listen());
    storeSettings(QStringLiteral("demo"), QStringLiteral("demo"));
}

void ConnectorFixture::storeSettings(const QString &user, const QString &password, int port, bool changed)
{
    ConfigurationData settings;
    settings.loadData();
    settings.setServer(QStringLiteral("127.0.0.1"));
    settings.setPort(port < 0 ? server.port() : port);
    settings.setUserName(user);
    settings.setPassword(password);
    settings.setChanged(changed);
    QVERIFY(settings.synchronize());
}

int ConnectorFixture::clientSockets(quint16 port) const
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return connectionsTo(port ? port : server.port());
}
