#include "logger.h"

#include "applicationnames.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMessageLogger>
#include <QProcessEnvironment>

namespace {

QString logFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\");
#else
    // Elsewhere the log lies beside the settings, in the program-data folder.
    const QString programData = QProcessEnvironment::systemEnvironment().value(QStringLiteral("ProgramData"));
    return programData.isEmpty() ? QStringLiteral("/var/lib") : programData;
#endif
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
    if (!on)
        file->close();
}

void Logger::appendToFile(const QString &line)
{
    QMutexLocker lock(&fileMutex);
    if (!fileLogging)
        return;
    if (!file->isOpen() && !file->open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file->write(line.toUtf8() + '\n');
    file->flush();
    if (file->size() > maxFileSize.load()) {
        file->close();
        const QString backup = file->fileName() + QStringLiteral(".1");
        QFile::remove(backup);
        QFile::rename(file->fileName(), backup);
    }
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
