#include "logger.h"
#include "messagecapture.h"
#include "testenvironment.h"

#include <QtTest>

#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

static QStringList messages; // what reached Qt: the severity, then the line after the source tag

static void record(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    messages << QLatin1String(type == QtDebugMsg ? "debug " : "warning ") + text.section("] ", 1).chopped(1);
}

static QStringList fileLines(const QString &path = Logger::logFilePath())
{
    QFile file(path);
    return file.open(QFile::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts) : QStringList();
}

// The log writer's own words about the file it could not open, as they end a line.
static QString fallbackNotice()
{
    return QString("The log file %1 cannot be opened (").arg(Logger::logFilePath());
}

class tst_Logger : public QObject
{
    Q_OBJECT

    TestEnvironment environment; // before the first entry: the log path is fixed then

private slots:
    // Before each test rather than after, so that a failed test cannot spoil the next one.
    void init()
    {
        qInstallMessageHandler(record);
        Logger::instance().setFileLogging(false);
        Logger::instance().setEnabled(true);
        Logger::instance().setMaxFileSize(Logger::defaultMaxFileSize);
        // On Windows the log has one fixed place, shared with other suites and earlier runs. A
        // failed test may have left a folder in the place of a file.
        for (const QString &path : {Logger::logFilePath(), Logger::fallbackLogFilePath()}) {
            QDir(path).removeRecursively();
            QFile::remove(path);
            QFile::remove(path + QStringLiteral(".1"));
        }
        messages.clear();
    }

    // Each entry as a line of either form. Only the const char* form of verbose() listens to the
    // enabled switch. A message longer than a line carries ends in a note of what it lost, in Qt's
    // output and in the file alike. It is cut between characters, never inside one.
    void shouldFormatEachEntryForQtAndWhileSwitchedOnForTheFile()
    {
        const QString euros(30000, QChar(0x20AC)); // 90,000 bytes of UTF-8
        const QString fits(Logger::maxMessageBytes, QLatin1Char('z'));
        Logger::instance().setFileLogging(true);
        Logger::verbose("Jürgen", QStringLiteral("f()"));
        Logger::debug(QVariant(42));
        Logger::warning(QVariant(QByteArray("bytes")));
        Logger::error(QVariant(1.5));
        Logger::verbose(QVariant(euros));
        Logger::verbose(QVariant(fits));
        Logger::instance().setEnabled(false);
        Logger::verbose("hidden");
        Logger::verbose(QVariant("shown"));
        Logger::error("always");
        Logger::instance().setFileLogging(false);
        Logger::verbose(QVariant("after"));

        const int kept = (Logger::maxMessageBytes - Logger::maxMarkerLength) / 3;
        const QString cut = QString(kept, QChar(0x20AC)) + QString(" ... [%1 more bytes]").arg(QLocale(QLocale::English).toString(90000 - 3 * kept));
        const QStringList entries{"debug [Verbose] [f()]:: Jürgen", "debug [Debug]:: 42", "warning [Warning]:: bytes",
                                  "warning [Error]:: 1.5", "debug [Verbose]:: " + cut, "debug [Verbose]:: " + fits,
                                  "debug [Verbose]:: shown", "warning [Error]:: always"};
        QCOMPARE(messages, entries + QStringList{"debug [Verbose]:: after"});
        const QStringList lines = fileLines();
        QCOMPARE(lines.size(), entries.size());
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(lines[i].endsWith(entries[i].section(' ', 1)), qPrintable(lines[i].left(100)));

        // Both line forms, with a fixed time.
        const QDateTime time(QDate(2026, 3, 5), QTime(14, 3, 7, 45));
        const QString tag = Logger::sourceTag();
        const QString prefix = QStringLiteral("05.03.2026, 14:03:07:045 [BrenvaleTAPIDriver, ID: 3] ");
        QCOMPARE(Logger::formatLine(Verbose, tag, "onStop", "void __cdecl f(int __stdcall, __fastcall)", time),
                 prefix + "[Verbose] [void  f(int , __fastcall)]:: onStop");
        // Appended, not substituted: markers in either field stay as they are.
        QCOMPARE(Logger::formatLine(Debug, tag, "%1 %5", "g(%1)", time), prefix + "[Debug] [g(%1)]:: %1 %5");
        QCOMPARE(Logger::formatLine(-1, tag, "m", QString(), time), prefix + "[Unknown]:: m");
        QCOMPARE(Logger::formatLine(4, tag, "m", QString(), time), prefix + "[Unknown]:: m");
    }

    // Past its size the file's lines go to the backup and the file is emptied in place. Each line
    // goes to the file's end as it is then: another program's roll-over may have emptied the file
    // since (on Windows an append-mode file writes at its own position).
    void shouldRollTheLogFileOverPastItsSize()
    {
        Logger::instance().setFileLogging(true);
        Logger::instance().setMaxFileSize(256 * 1024);
        const QString chunk(16 * 1024, QLatin1Char('x'));
        const QString backup = Logger::logFilePath() + QStringLiteral(".1");
        Logger::debug(chunk);
        // Open since the first line: it still shows the log file once that was emptied in place.
        QFile other(Logger::logFilePath());
        QVERIFY(other.open(QIODevice::ReadWrite));
        for (int i = 0; i < 200 && !QFile::exists(backup); ++i)
            Logger::debug(chunk);
        QCOMPARE(other.size(), 0);
        // Rolled over by the first line that took the file past the limit.
        QVERIFY(QFileInfo(backup).size() > 256 * 1024);
        QVERIFY(QFileInfo(backup).size() <= 256 * 1024 + chunk.size() + 200);

        Logger::verbose(QVariant(QString(1000, QLatin1Char('a'))));
        QVERIFY(other.resize(0));
        Logger::verbose("after");
        QVERIFY(other.seek(0));
        const QByteArray written = other.readAll();
        QVERIFY2(!written.contains('\0') && written.endsWith("[Verbose]:: after\n") && written.count('\n') == 1,
                 written.left(100).toHex().constData());
    }

    void shouldKeepLinesWholeAcrossThreads()
    {
        Logger::instance().setFileLogging(true);
        // Silent, and without a lock of its own that would keep the writers apart.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        const QString text(10, QChar(0x20AC)); // the euro sign checks the file's UTF-8 as well
        const auto write = [&text] {
            for (int i = 0; i < 2000; ++i)
                Logger::verbose(QVariant(text));
        };

        std::thread others[] = {std::thread(write), std::thread(write), std::thread(write)};
        write();
        for (std::thread &other : others)
            other.join();

        QCOMPARE(fileLines().size(), 8000);
        for (const QString &line : fileLines())
            QVERIFY2(line.endsWith("[Verbose]:: " + text), qPrintable(line));
    }

    // Where the log file cannot be opened, the log goes to the settings folder, which every user
    // may write, and the writer says once where and why; where neither opens, it says that once.
    // Switched off and on, it tries the log file again.
    void shouldSayOnceWhereTheLogGoesWhenItsFileCannotBeOpened_data()
    {
        QTest::addColumn<bool>("fallbackOpens");
        QTest::newRow("the settings folder") << true;
        QTest::newRow("nowhere but Qt's output") << false;
    }

    void shouldSayOnceWhereTheLogGoesWhenItsFileCannotBeOpened()
    {
        QFETCH(bool, fallbackOpens);
        QVERIFY(QDir().mkpath(Logger::logFilePath())); // a folder where the file should be
        QVERIFY(QDir().mkpath(fallbackOpens ? environment.settingsFolder() : Logger::fallbackLogFilePath()));
        Logger::instance().setFileLogging(true);
        Logger::verbose("first");
        Logger::instance().setFileLogging(true); // as the client does at every settings read
        Logger::verbose("second");

        // In Qt's output after the line that opened the file, as a quoted string (the backslashes
        // of Windows paths escaped); in the file before it.
        const QString where = fallbackOpens ? "to " + Logger::fallbackLogFilePath() : "nowhere but here";
        QCOMPARE(messages.size(), 3);
        QVERIFY2(messages[1].startsWith("warning [Warning] [bool Logger::openFile()]:: " + MessageCapture::quoted(fallbackNotice()))
                     && messages[1].endsWith(MessageCapture::quoted("), so the log goes " + where)),
                 qPrintable(messages[1]));
        QCOMPARE(messages[0], "debug [Verbose]:: first");
        QCOMPARE(messages[2], "debug [Verbose]:: second");
        const QStringList lines = fileLines(Logger::fallbackLogFilePath());
        QCOMPARE(lines.size(), fallbackOpens ? 3 : 0);
        QVERIFY2(!fallbackOpens || (lines[0].contains(fallbackNotice()) && lines[0].endsWith(where)), qPrintable(lines.value(0)));
        QVERIFY(!fallbackOpens || (lines[1].endsWith("[Verbose]:: first") && lines[2].endsWith("[Verbose]:: second")));

        Logger::instance().setFileLogging(false);
        QVERIFY(QDir(Logger::logFilePath()).removeRecursively());
        messages.clear();
        Logger::instance().setFileLogging(true);
        Logger::verbose("third");
        QCOMPARE(messages, QStringList{"debug [Verbose]:: third"});
        QCOMPARE(fileLines().size(), 1);
        QCOMPARE(fileLines(Logger::fallbackLogFilePath()).size(), lines.size());
    }

#ifdef Q_OS_UNIX
    // As a user who may not create files in the log's folder, as standard users in C:\ on
    // Windows, where the settings folder is open to everyone. Each row writes enough for one
    // roll-over, which must neither create nor rename a file in the log's folder.
    void shouldLogAndRollOverForAUserWhoMayNotCreateFilesThere_data()
    {
        QTest::addColumn<bool>("logExists");
        QTest::addColumn<bool>("backupExists");
        QTest::newRow("no log file yet: the settings folder") << false << false;
        QTest::newRow("a log file and backup open to everyone") << true << true;
        QTest::newRow("a log file open to everyone without a backup") << true << false;
    }

    void shouldLogAndRollOverForAUserWhoMayNotCreateFilesThere()
    {
        QFETCH(bool, logExists);
        QFETCH(bool, backupExists);
        if (::geteuid() != 0)
            QSKIP("only root can run a part of the test as another user");
        const QString log = Logger::logFilePath();
        const QString backup = log + ".1";
        const QDir logFolder = QFileInfo(log).dir();
        const auto setMode = [](const QString &path, mode_t mode) { return ::chmod(QFile::encodeName(path), mode) == 0; };
        const auto makeFile = [&](const QString &path, const QByteArray &content) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && setMode(path, 0666);
        };
        // Everybody may pass through to the log's folder but not create files there; the
        // settings folder is everyone's, as the settings store leaves it.
        QVERIFY(QDir().mkpath(environment.settingsFolder()));
        QVERIFY(setMode(QFileInfo(environment.programData()).path(), 0755) && setMode(environment.programData(), 0755)
                && setMode(environment.settingsFolder(), 0777));
        QVERIFY(!logExists || makeFile(log, "earlier\n"));
        QVERIFY(!backupExists || makeFile(backup, "much earlier\n"));
        struct stat logBefore = {};
        ::stat(QFile::encodeName(log), &logBefore);
        const QStringList folderBefore = logFolder.entryList(QDir::Files);

        // 60 lines of 100 bytes, past a limit of 4,000 bytes once, from a process of user 1001.
        const int lineCount = 60;
        const QString said = QDir(environment.programData()).filePath("../said.txt");
        const pid_t child = ::fork();
        if (child == 0) {
            qInstallMessageHandler(nullptr); // Qt's own output: standard error, into said.txt
            const int output = ::open(QFile::encodeName(said), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (output < 0 || ::dup2(output, 2) < 0 || ::setgid(1001) != 0 || ::setuid(1001) != 0)
                ::_exit(2);
            Logger::instance().setMaxFileSize(4000);
            Logger::instance().setFileLogging(true);
            for (int i = 0; i < lineCount; ++i)
                Logger::verbose(QVariant(QString("line %1 ").arg(i, 2, 10, QLatin1Char('0')).leftJustified(38, 'x')));
            ::_exit(0);
        }
        int status = -1;
        QVERIFY(child > 0 && ::waitpid(child, &status, 0) == child);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, qPrintable(QString::number(status)));
        const QString stderrText = fileLines(said).join('\n');

        const QString written = logExists ? log : Logger::fallbackLogFilePath();
        const QStringList current = fileLines(written);
        const QStringList kept = fileLines(written + ".1");
        const QString lostNote = "The log's earlier lines could not be kept in " + backup + " (";
        QCOMPARE(stderrText.count(fallbackNotice()), logExists ? 0 : 1);
        QCOMPARE(stderrText.count(lostNote), backupExists || !logExists ? 0 : 1);
        QVERIFY(QFileInfo(written).size() < 4000);
        if (!logExists)
            QVERIFY2(!QFile::exists(log) && kept.value(0).contains(fallbackNotice()), qPrintable(kept.value(0)));
        else if (backupExists)
            QCOMPARE(kept.value(0), "earlier");
        else
            QVERIFY2(current.value(0).contains(lostNote), qPrintable(current.value(0)));
        // Every line written, in order, in the backup and the file; without a backup, the last ones.
        const QStringList numbered = (kept + current).filter("]:: line ");
        QVERIFY(!numbered.isEmpty() && (numbered.size() == lineCount) != (logExists && !backupExists));
        for (int i = 0; i < numbered.size(); ++i)
            QVERIFY2(numbered[i].contains(QString("]:: line %1 ").arg(lineCount - numbered.size() + i, 2, 10, QLatin1Char('0'))), qPrintable(numbered[i]));

        // The log's folder as it was, and the log the same file, emptied in place.
        QCOMPARE(logFolder.entryList(QDir::Files), folderBefore);
        if (logExists) {
            struct stat logAfter = {};
            QVERIFY(::stat(QFile::encodeName(log), &logAfter) == 0);
            QCOMPARE(logAfter.st_ino, logBefore.st_ino);
            QCOMPARE(logAfter.st_uid, uid_t(0));
        }
        QVERIFY(QFile::remove(said));
    }
#endif
};

QTEST_GUILESS_MAIN(tst_Logger)
#include "tst_logger.moc"
