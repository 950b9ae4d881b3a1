#pragma once

#include <QMutex>
#include <QString>
#include <QVariant>

#include <atomic>
#include <memory>

class QDateTime;
class QFile;

enum LogLevel { Verbose = 0, Debug = 1, Warning = 2, Error = 3 };

// One log writer per process. Every entry becomes one line handed to Qt's message output
// (debug severity for Verbose and Debug, warning severity for Warning and Error) and, while
// file logging is on, appended to logFilePath(), or to fallbackLogFilePath() where that file
// cannot be opened (a standard user may not create files in C:\).
class Logger
{
public:
    // Call sites pass Q_FUNC_INFO as the signature; an empty signature gives the short form.
    static void verbose(const QVariant &message, const QString &signature = QString());
    static void verbose(const char *message, const QString &signature = QString());
    static void debug(const QVariant &message, const QString &signature = QString());
    static void warning(const QVariant &message, const QString &signature = QString());
    static void error(const QVariant &message, const QString &signature = QString());
    static void error(const char *message, const QString &signature = QString());

    static Logger &instance();
    static const QString &sourceTag();
    static const QString &logFilePath();
    // The log file in the settings folder, which every user of the machine may write.
    static const QString &fallbackLogFilePath();

    static QString formatLine(int level, const QString &sourceTag, const QString &message,
                              const QString &signature, const QDateTime &time);

    // The most of one message that a line carries, in UTF-8 bytes, its marker included. Every
    // line of a login, a command or an event fits whole; bulk data (an address page is 5 MB of
    // JSON) is cut, so that the 10 MiB log keeps the history around it.
    static constexpr int maxMessageBytes = 64 * 1024;
    static constexpr int maxMarkerLength = 48;
    // The message cut at a character boundary to fit maxMessageBytes, with leftOutMarker of the
    // bytes it lost; a message that fits as it is.
    static QString bounded(const QString &message);
    // " ... [5,512,331 more bytes]" for a count of 5512331 and the unit "bytes".
    static QString leftOutMarker(qint64 count, const QString &unit);
    static QString levelName(int level);
    static QString cleanSignature(QString signature);

    // Only the const char* form of verbose() listens to this switch.
    void setEnabled(bool on) { enabled = on; }
    void setFileLogging(bool on);
    // Past this size the log file's lines move to a single ".1" backup beside it; tests make it small.
    void setMaxFileSize(qint64 bytes) { maxFileSize = bytes; }

    static constexpr qint64 defaultMaxFileSize = 10 * 1024 * 1024;

private:
    Logger();
    ~Logger();
    void write(int level, const QString &message, const QString &signature);
    void appendToFile(const QString &line);
    // These run under fileMutex.
    bool openFile();
    void writeToFile(const QString &line);
    void rollOver();
    // A line of the writer's own about its file, to Qt's message output and, when open, the file.
    void report(const QString &text, const char *signature);

    std::atomic<bool> enabled{true};
    std::unique_ptr<QFile> file;
    QMutex fileMutex;
    std::atomic<bool> fileLogging{false};
    // Neither file could be opened: not tried again before logging is switched off and on.
    bool noFile = false;
    std::atomic<qint64> maxFileSize{defaultMaxFileSize};
};
