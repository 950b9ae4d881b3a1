#pragma once

#include "ctimessage.h"

#include <QRunnable>

// Builds the records of one response on a pool thread and announces them through the
// connector's signals. Its only way back into the connector is enqueue().
class CTIConnectorResponseHandler : public QRunnable
{
public:
    explicit CTIConnectorResponseHandler(const CTIMessage &message);
    void run() override;

private:
    CTIMessage message;
};
