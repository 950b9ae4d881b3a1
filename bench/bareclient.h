#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QWebSocket>

#include <functional>

// The baseline the connector is measured against: a plain QWebSocket that sends commands in
// the same envelope and takes the next text frame as the answer. The server answers every
// command with one response and pushes nothing unasked in the benchmarks, so the answer needs
// no parsing to be recognised: the caller parses it exactly once.
class BareClient : public QObject
{
public:
    explicit BareClient(QObject *parent = nullptr);

    bool open(const QUrl &url, int timeout = 5000);
    // Sends one command and returns the text of the next frame; empty on timeout.
    QString call(const QString &name, const QJsonObject &data, int timeout = 30000);
    // The same two commands as the connector's handshake; true when the login answers 200.
    bool login(const QString &user, const QString &password);
    // Reads a whole address book with the connector's requests: limit 10000 from offset 0, and
    // after every full page offset + count + 1. Calls page with each answer's text and its
    // number of entries; returns the number of entries read.
    int readBook(const QString &bookId, const std::function<void(const QString &frame, int entries)> &page);

    static QJsonObject dataOf(const QString &frame);

private:
    QWebSocket socket;
    QString answer;
};
