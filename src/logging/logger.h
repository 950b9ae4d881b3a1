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
// file logging is on, appended to logFilePath().
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

    static QString formatLine(int level, const QString &sourceTag, const QString &message,
                              const QString &signature, const QDateTime &time);
    static QString levelName(int level);
    static QString cleanSignature(QString signature);

    // Only the const char* form of verbose() listens to this switch.
    void setEnabled(bool on) { enabled = on; }
    void setFileLogging(bool on);

    static constexpr qint64 maxFileSize = 10 * 1024 * 1024;

private:
    Logger();
    ~Logger();
    void write(int level, const QString &message, const QString &signature);
    void appendToFile(const QString &line);

    std::atomic<bool> enabled{true};
    std::unique_ptr<QFile> file;
    QMutex fileMutex;
    std::atomic<bool> fileLogging{false};
};
