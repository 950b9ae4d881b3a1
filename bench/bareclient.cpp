#include "bareclient.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>
#include <QUuid>

BareClient::BareClient(QObject *parent)
    : QObject(parent)
{
}

bool BareClient::open(const QUrl &url, int timeout)
{
    QEventLoop loop;
    connect(&socket, &QWebSocket::connected, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    socket.open(url);
    loop.exec();
    return socket.isValid();
}

QString BareClient::call(const QString &name, const QJsonObject &data, int timeout)
{
    const QJsonObject envelope{
        {QStringLiteral("type"), QStringLiteral("command")},
        {QStringLiteral("name"), name},
        {QStringLiteral("uuid"), QUuid::createUuid().toString().mid(1, 36)},
        {QStringLiteral("data"), data},
    };
    answer.clear();
    QEventLoop loop;
    const auto received = connect(&socket, &QWebSocket::textMessageReceived, &loop, [&](const QString &frame) {
        answer = frame;
        loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    socket.sendTextMessage(QString::fromUtf8(QJsonDocument(envelope).toJson()));
    socket.flush();
    loop.exec();
    disconnect(received);
    return answer;
}

bool BareClient::login(const QString &user, const QString &password)
{
    call(QStringLiteral("requestProtocolVersion"), QJsonObject());
    const QString reply = call(QStringLiteral("login"), {{QStringLiteral("user"), user},
                                                         {QStringLiteral("pass"), password},
                                                         {QStringLiteral("client"), QStringLiteral("tapi")},
                                                         {QStringLiteral("crypt"), QStringLiteral("no")}});
    return dataOf(reply).value(QStringLiteral("status")).toInt() == 200;
}

int BareClient::readBook(const QString &bookId, const std::function<void(const QString &, int)> &page)
{
    const int limit = 10000;
    int offset = 0;
    int total = 0;
    for (;;) {
        const QString frame = call(QStringLiteral("getAddresses"), {{QStringLiteral("bookid"), bookId},
                                                                    {QStringLiteral("limit"), limit},
                                                                    {QStringLiteral("offset"), offset}});
        const QJsonObject data = dataOf(frame);
        const int count = data.value(QStringLiteral("addresses")).toObject().size();
        total += count;
        page(frame, count);
        if (count == 0 || count != data.value(QStringLiteral("limit")).toInt())
            return total;
        offset = data.value(QStringLiteral("offset")).toInt() + count + 1;
    }
}

QJsonObject BareClient::dataOf(const QString &frame)
{
    return QJsonDocument::fromJson(frame.toUtf8()).object().value(QStringLiteral("data")).toObject();
}
