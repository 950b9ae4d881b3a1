// Routes every received response to its handler by name; the uuid is never compared.

#include "cticonnector.h"

#include "logger.h"

#include <QHash>

void CTIConnector::handleResponse(CTIMessage &message)
{
    Logger::verbose("handleResponse", Q_FUNC_INFO);
    printFiltered(message);

    using Handler = void (CTIConnector::*)(CTIMessage &);
    static const QHash<QString, Handler> handlers = {
        {QStringLiteral("login"), &CTIConnector::handleResponse_login},
        {QStringLiteral("tapimultiuserlogin"), &CTIConnector::handleResponse_login},
        {QStringLiteral("requestProtocolVersion"), &CTIConnector::handleResponse_requestProtocolVersion},
        {QStringLiteral("tapiGetUsers"), &CTIConnector::handleResponse_tapiGetUsers},
        {QStringLiteral("requestLineStatus"), &CTIConnector::handleResponse_requestLineStatus},
        {QStringLiteral("requestUCItems"), &CTIConnector::handleResponse_requestUCItems},
        {QStringLiteral("getAddressbooks"), &CTIConnector::handleResponse_getAddressbooks},
        {QStringLiteral("getAddresses"), &CTIConnector::handleResponse_getAddresses},
        {QStringLiteral("saveAddress"), &CTIConnector::handleResponse_saveAddress},
        {QStringLiteral("deleteAddress"), &CTIConnector::handleResponse_deleteAddress},
        {QStringLiteral("setAddressPicture"), &CTIConnector::handleResponse_setAddressPicture},
        {QStringLiteral("getAddressPicture"), &CTIConnector::handleResponse_getAddressPicture},
        {QStringLiteral("getContactTypes"), &CTIConnector::handleResponse_getContactTypes},
        {QStringLiteral("requestJabberBuddies"), &CTIConnector::handleResponse_requestJabberBuddies},
        {QStringLiteral("requestPhoneConfig"), &CTIConnector::handleResponse_requestPhoneConfig},
    };
    if (const Handler handler = handlers.value(message.name()))
        (this->*handler)(message);
}
