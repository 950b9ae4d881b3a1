#pragma once

#include <QMutex>
#include <QStringList>

// Records every Qt message (debug, warning, ...) while it lives; messages from any thread.
// The messages still reach the previous handler, so test output stays readable.
class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    QStringList messages() const;
    // Messages that contain text.
    QStringList matching(const QString &text) const;
    bool contains(const QString &text) const { return !matching(text).isEmpty(); }
    void clear();
    void setForwarding(bool on) { forwarding = on; }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    mutable QMutex mutex;
    QStringList captured;
    bool forwarding = false;
    QtMessageHandler previous = nullptr;
};
