#include "logger.h"

#include "applicationnames.h"
#include "programdata.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMessageLogger>

namespace {

QString logFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\");
#else
    // Elsewhere the log lies in the program-data folder.
    return programDataFolder();
#endif
}

bool openForAppending(QFile &file)
{
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
}

} // namespace

Logger::Logger()
    : file(new QFile(logFilePath()))
{
}

Logger::~Logger() = default;

Logger &Logger::instance()
{
    // Never destroyed: entries may still arrive while statics are torn down at exit.
    static Logger *const logger = new Logger;
    return *logger;
}

const QString &Logger::sourceTag()
{
    static const QString tag = applicationName() + QStringLiteral(", ID: ") + QStringLiteral("3");
    return tag;
}

const QString &Logger::logFilePath()
{
    static const QString path = [] {
        QString folder = logFolder();
        if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QDir::separator()))
            folder += QDir::separator();
        return QDir::toNativeSeparators(folder + applicationName() + QStringLiteral(".log"));
    }();
    return path;
}

const QString &Logger::fallbackLogFilePath()
{
    static const QString path =
        QDir::toNativeSeparators(settingsFolder() + QDir::separator() + applicationName() + QStringLiteral(".log"));
    return path;
}

QString Logger::levelName(int level)
{
    switch (level) {
    case Verbose: return QStringLiteral("Verbose");
    case Debug: return QStringLiteral("Debug");
    case Warning: return QStringLiteral("Warning");
    case Error: return QStringLiteral("Error");
    }
    return QStringLiteral("Unknown");
}

QString Logger::cleanSignature(QString signature)
{
    signature.remove(QStringLiteral("__cdecl"));
    signature.remove(QStringLiteral("__stdcall"));
    return signature;
}

QString Logger::formatLine(int level, const QString &sourceTag, const QString &message,
                           const QString &signature, const QDateTime &time)
{
    // Appended, not QString::arg(): fields must appear verbatim even when they hold "%1". The
    // message may be megabytes of JSON, so it is copied once, into a line of the final size.
    const QString stamp = time.toString(QStringLiteral("dd.MM.yyyy, hh:mm:ss:zzz"));
    const QString word = levelName(level);
    const QString context = signature.isEmpty() ? QString() : cleanSignature(signature);
    QString line;
    line.reserve(stamp.size() + sourceTag.size() + word.size() + context.size() + message.size() + 12);
    line += stamp;
    line += QLatin1String(" [");
    line += sourceTag;
    line += QLatin1String("] [");
    line += word;
    line += QLatin1Char(']');
    if (!signature.isEmpty()) {
        line += QLatin1String(" [");
        line += context;
        line += QLatin1Char(']');
    }
    line += QLatin1String(":: ");
    line += message;
    return line;
}

QString Logger::leftOutMarker(qint64 count, const QString &unit)
{
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return QStringLiteral(" ... [") + english.toString(count) + QStringLiteral(" more ") + unit + QLatin1Char(']');
}

QString Logger::bounded(const QString &message)
{
    // At most three UTF-8 bytes a UTF-16 unit: most messages need no counting.
    if (message.size() <= maxMessageBytes / 3)
        return message;
    const QByteArray utf8 = message.toUtf8();
    if (utf8.size() <= maxMessageBytes)
        return message;
    int keep = maxMessageBytes - maxMarkerLength;
    while (keep > 0 && (uchar(utf8.at(keep)) & 0xC0) == 0x80)
        --keep;
    return QString::fromUtf8(utf8.constData(), keep)
        + leftOutMarker(utf8.size() - keep, QStringLiteral("bytes"));
}

void Logger::write(int level, const QString &message, const QString &signature)
{
    const QString line = formatLine(level, sourceTag(), bounded(message), signature, QDateTime::currentDateTime());
    if (level == Verbose || level == Debug)
        QMessageLogger().debug() << line;
    else
        QMessageLogger().warning() << line;
    if (fileLogging)
        appendToFile(line);
}

void Logger::setFileLogging(bool on)
{
    QMutexLocker lock(&fileMutex);
    fileLogging = on;
    if (!on) {
        file->close();
        noFile = false;
    }
}

void Logger::appendToFile(const QString &line)
{
    QMutexLocker lock(&fileMutex);
    if (!fileLogging || !openFile())
        return;
    writeToFile(line);
    if (file->size() > maxFileSize.load())
        rollOver();
}

bool Logger::openFile()
{
    if (file->isOpen())
        return true;
    if (noFile)
        return false;
    file->setFileName(logFilePath());
    if (openForAppending(*file))
        return true;
    const QString reason = file->errorString();
    file->setFileName(fallbackLogFilePath());
    if (openForAppending(*file)) {
        report(QStringLiteral("The log file %1 cannot be opened (%2), so the log goes to %3")
                   .arg(logFilePath(), reason, fallbackLogFilePath()),
               Q_FUNC_INFO);
        return true;
    }
    noFile = true;
    report(QStringLiteral("The log file %1 cannot be opened (%2), nor %3 (%4), so the log goes nowhere but here")
               .arg(logFilePath(), reason, fallbackLogFilePath(), file->errorString()),
           Q_FUNC_INFO);
    return false;
}

void Logger::writeToFile(const QString &line)
{
    // At the file's end as it is now: another program may have written to it, or emptied it at
    // its roll-over, since this one last wrote (on Windows an append-mode file writes where its
    // own position is).
    file->seek(file->size());
    file->write(line.toUtf8() + '\n');
    file->flush();
}

void Logger::rollOver()
{
    // The lines move into the ".1" backup and the file is emptied in place: nothing is created or
    // renamed beside it, which a standard user may not do in C:\, and the file keeps its rights.
    QFile backup(file->fileName() + QStringLiteral(".1"));
    QFile lines(file->fileName());
    QString lost;
    if (!backup.open(QIODevice::WriteOnly | QIODevice::Truncate))
        lost = backup.errorString();
    else if (!lines.open(QIODevice::ReadOnly))
        lost = lines.errorString();
    while (lost.isEmpty() && !lines.atEnd()) {
        const QByteArray chunk = lines.read(1024 * 1024);
        if (chunk.isEmpty() || backup.write(chunk) != chunk.size())
            lost = chunk.isEmpty() ? lines.errorString() : backup.errorString();
    }
    file->resize(0);
    // Rather a fresh file without the old lines than one that grows without bound.
    if (!lost.isEmpty())
        report(QStringLiteral("The log's earlier lines could not be kept in %1 (%2)").arg(backup.fileName(), lost),
               Q_FUNC_INFO);
}

void Logger::report(const QString &text, const char *signature)
{
    const QString line = formatLine(Warning, sourceTag(), text, QString::fromUtf8(signature), QDateTime::currentDateTime());
    QMessageLogger().warning() << line;
    if (file->isOpen())
        writeToFile(line);
}

void Logger::verbose(const QVariant &message, const QString &signature)
{
    instance().write(Verbose, message.toString(), signature);
}

void Logger::verbose(const char *message, const QString &signature)
{
    if (instance().enabled)
        verbose(QVariant(QString::fromUtf8(message)), signature);
}

void Logger::debug(const QVariant &message, const QString &signature)
{
    instance().write(Debug, message.toString(), signature);
}

void Logger::warning(const QVariant &message, const QString &signature)
{
    instance().write(Warning, message.toString(), signature);
}

void Logger::error(const QVariant &message, const QString &signature)
{
    instance().write(Error, message.toString(), signature);
}

void Logger::error(const char *message, const QString &signature)
{
    error(QVariant(QString::fromUtf8(message)), signature);
}
