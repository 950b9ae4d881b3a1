// The handshake on a fresh connection: protocol version first, then the credentials.

#include "cticonnector.h"

#include "logger.h"

void CTIConnector::requestProtocolVersion()
{
    Logger::verbose("requestProtocolVersion", Q_FUNC_INFO);
    sendSimpleCommand(QStringLiteral("requestProtocolVersion"));
}

void CTIConnector::handleResponse_requestProtocolVersion(CTIMessage &message)
{
    protocolVersion = message.value(QStringLiteral("protocol_version")).toDouble();
    Logger::verbose(QVariant(QStringLiteral("protocol version: ") + QString::number(protocolVersion, 'g', 6)),
                    Q_FUNC_INFO);
    if (protocolVersion != -1.0 && protocolVersion >= 2.0) {
        requestLogin();
    } else {
        reportStatus(QStringLiteral("Server protocol version is older than 2.0 "));
        emit loginFailedSignal();
    }
}

void CTIConnector::requestLogin()
{
    const bool multiUser = settings.isMultiUser();
    CTIMessage message(multiUser ? QStringLiteral("tapimultiuserlogin") : QStringLiteral("login"));
    message.setValue(QStringLiteral("user"), userName);
    message.setValue(multiUser ? QStringLiteral("token") : QStringLiteral("pass"), password);
    message.setValue(QStringLiteral("client"), multiUser ? "tapimultiuser" : "tapi");
    message.setValue(QStringLiteral("crypt"), "no");
    sendMessage(message);
}

void CTIConnector::handleResponse_login(CTIMessage &message)
{
    if (message.value(QStringLiteral("status")).toInt() != 200) {
        reportStatus(QStringLiteral("Authentication failed"));
        emit loginFailedSignal();
        return;
    }
    loggedIn = true;
    Logger::verbose("User Loggedin", Q_FUNC_INFO);
    reportStatus(QStringLiteral("Logged in"));
    if (hasLoggedIn) {
        emit reconnectSuccess();
        return;
    }
    loginSuccess();
    hasLoggedIn = true;
}

void CTIConnector::loginSuccess()
{
    Logger::verbose("Did Login successfully", Q_FUNC_INFO);
    if (settings.isMultiUser())
        requestTapiUsers();
    else
        emit loginSuccessSignal();
}
