#include "demoserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <limits>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

// A signal handler may only set a flag; the event loop looks at it.
void requestStop(int)
{
    stopRequested = 1;
}

void printLine(FILE *stream, const QString &line)
{
    std::fputs(line.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int fail(const QString &message)
{
    printLine(stderr, QStringLiteral("cti-demo-server: ") + message);
    return 1;
}

// An option value that makes no sense: exit code 2, the usual one for a wrong call.
int refuse(const QString &message)
{
    fail(message + QStringLiteral(" (see --help)"));
    return 2;
}

// Longer than a day between events is no demo any more, and the timer counts milliseconds in an int.
constexpr double longestEventInterval = 24 * 60 * 60;

// JSON text decides the type: 2.0 is a number, "2.5" (with the quotes) a string; anything
// that is no JSON value is sent as a string too.
QJsonValue protocolVersion(const QString &text)
{
    if (text == QLatin1String("none"))
        return QJsonValue(QJsonValue::Undefined);
    const QJsonDocument parsed = QJsonDocument::fromJson('[' + text.toUtf8() + ']');
    if (parsed.isArray() && parsed.array().size() == 1)
        return parsed.array().first();
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cti-demo-server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "A CTI server on ws://127.0.0.1:<port>/cti for demos and tests. It answers the "
            "handshake and the client's commands from a demo data set and prints every frame "
            "it receives and sends, with passwords and tokens masked."));
    parser.addHelpOption();
    const QCommandLineOption portOption(
            QStringLiteral("port"),
            QStringLiteral("Port on 127.0.0.1 to listen on; 0 picks a free one (default 28888)."),
            QStringLiteral("N"), QStringLiteral("28888"));
    const QCommandLineOption userOption(
            QStringLiteral("user"), QStringLiteral("User name that login accepts (default demo)."),
            QStringLiteral("U"), QStringLiteral("demo"));
    const QCommandLineOption passwordOption(
            QStringLiteral("password"),
            QStringLiteral("Password, or token of a multi-user login, that login accepts "
                           "(default demo)."),
            QStringLiteral("P"), QStringLiteral("demo"));
    const QCommandLineOption versionOption(
            QStringLiteral("protocol-version"),
            QStringLiteral("Protocol version to announce: a number such as 2.0, a string in "
                           "double quotes such as '\"2.5\"', or none to leave it out "
                           "(default 2.0)."),
            QStringLiteral("V"), QStringLiteral("2.0"));
    const QCommandLineOption dataOption(
            QStringLiteral("data"),
            QStringLiteral("Demo data file (JSON) to serve (default: demodata.json in the "
                           "server's source folder, else the copy built into the program)."),
            QStringLiteral("FILE"));
    const QCommandLineOption eventsOption(
            QStringLiteral("events-every"),
            QStringLiteral("Push an event every SECONDS, taking turns with presence, call, "
                           "address, contact type, forwarding, phone and queue changes."),
            QStringLiteral("SECONDS"));
    const QCommandLineOption bookOption(
            QStringLiteral("book-size"),
            QStringLiteral("Add or replace address book ID with N generated entries; may be "
                           "given more than once."),
            QStringLiteral("ID=N"));
    parser.addOptions({portOption, userOption, passwordOption, versionOption, dataOption,
                       eventsOption, bookOption});
    parser.process(app);

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    DemoServer server;
    server.setVerbose(true);
    server.setCredentials(parser.value(userOption), parser.value(passwordOption));
    server.setProtocolVersion(protocolVersion(parser.value(versionOption)));

    if (parser.isSet(dataOption)) {
        if (!server.loadData(parser.value(dataOption)))
            return fail(QStringLiteral("cannot read data file %1").arg(parser.value(dataOption)));
    } else if (QFileInfo::exists(QStringLiteral(DEMO_DATA_FILE))
               && !server.loadData(QStringLiteral(DEMO_DATA_FILE))) {
        return fail(QStringLiteral("cannot read data file %1").arg(QStringLiteral(DEMO_DATA_FILE)));
    }

    for (const QString &book : parser.values(bookOption)) {
        const int separator = book.lastIndexOf(QLatin1Char('='));
        bool ok = false;
        const int count = book.mid(separator + 1).toInt(&ok);
        if (separator < 1 || !ok || count < 0)
            return refuse(QStringLiteral("--book-size wants ID=N with N from 0 to %1, not %2")
                                  .arg(std::numeric_limits<int>::max())
                                  .arg(book));
        server.setBookSize(book.left(separator), count);
    }

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535)
        return refuse(QStringLiteral("--port wants a number from 0 to 65535, not %1").arg(parser.value(portOption)));

    QTimer eventTimer;
    if (parser.isSet(eventsOption)) {
        const double seconds = parser.value(eventsOption).toDouble(&ok);
        if (!ok || !(seconds >= 0.001 && seconds <= longestEventInterval))
            return refuse(QStringLiteral("--events-every wants seconds from 0.001 to %1, not %2")
                                  .arg(longestEventInterval)
                                  .arg(parser.value(eventsOption)));
        eventTimer.setInterval(int(seconds * 1000));
        QObject::connect(&eventTimer, &QTimer::timeout, &server, [&server, turn = 0]() mutable {
            // Skip kinds the data set has nothing for.
            const QStringList names = DemoServer::eventNames();
            for (int tries = 0; tries < names.size(); ++tries) {
                if (server.pushEvent(names.at(turn++ % names.size())))
                    break;
            }
        });
    }

    if (!server.listen(quint16(port))) {
        return fail(QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                            .arg(port)
                            .arg(server.errorString()));
    }
    printLine(stdout, QStringLiteral("Listening on %1").arg(server.url().toString()));
    if (parser.isSet(eventsOption))
        eventTimer.start();

    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, &app, [&server] {
        if (stopRequested) {
            server.close();
            QCoreApplication::quit();
        }
    });
    stopWatch.start(100);

    return app.exec();
}
