#pragma once

#include <QMutex>
#include <QStringList>

// Records every Qt message (debug, warning, ...) while it lives, from any thread, instead of
// printing it: the client logs whole messages, which would bury the test output.
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
    // Text as it appears inside a log line: the log writer hands Qt a quoted string, in which
    // backslashes (Windows paths) and quotation marks are escaped.
    static QString quoted(QString text);
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    mutable QMutex mutex;
    QStringList captured;
    QtMessageHandler previous = nullptr;
};
