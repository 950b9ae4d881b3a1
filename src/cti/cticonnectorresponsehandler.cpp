#include "cticonnectorresponsehandler.h"

#include "cticonnector.h"

CTIConnectorResponseHandler::CTIConnectorResponseHandler(const CTIMessage &message)
    : message(message)
{
}

void CTIConnectorResponseHandler::run()
{
    CTIConnector *connector = CTIConnector::instance();
    if (message.name() == QLatin1String("requestUCItems")) {
        const QVariantMap items = message.value(QStringLiteral("items")).toMap();
        for (const QVariant &entry : items) {
            auto *item = new UCItem;
            item->setAttributes(entry.toMap());
            // Receivers may deleteLater() it: it must live where an event loop runs.
            item->moveToThread(connector->thread());
            emit connector->ucItemAdded(item);
        }
    }
    if (message.name() == QLatin1String("getAddresses"))
        connector->emitAddressPage(message, true);
}
