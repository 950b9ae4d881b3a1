// Logs in with the stored settings, prints every status on a line of its own, and ends with 0
// once logged in, 1 when the login failed, 2 when nothing came of it within 20 seconds.
#include "cticonnector.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    CTIConnector *connector = CTIConnector::instance();
    QObject::connect(connector, &CTIConnector::clientState, [](const QString &status) {
        std::printf("%s\n", qPrintable(status));
        std::fflush(stdout);
    });
    QObject::connect(connector, &CTIConnector::loginSuccessSignal, &app, [] { QCoreApplication::exit(0); });
    QObject::connect(connector, &CTIConnector::loginFailedSignal, &app, [] { QCoreApplication::exit(1); });
    QTimer::singleShot(20000, &app, [] { QCoreApplication::exit(2); });
    connector->login();
    const int status = app.exec();
    connector->stop();
    return status;
}
