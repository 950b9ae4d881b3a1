#include "logger.h"
#include "testenvironment.h"

#include <QtTest>

#include <thread>
#include <vector>

static QStringList messages; // what reached Qt: the severity, then the line after the source tag

static void record(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    messages << QLatin1String(type == QtDebugMsg ? "debug " : "warning ") + text.section("] ", 1).chopped(1);
}

static QStringList fileLines()
{
    QFile file(Logger::logFilePath());
    if (!file.open(QFile::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    lines.removeAll(QString()); // the empty rest after the last line end
    return lines;
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
        // On Windows the log has one fixed place, shared with other suites and earlier runs.
        QFile::remove(Logger::logFilePath());
        QFile::remove(Logger::logFilePath() + QStringLiteral(".1"));
        messages.clear();
    }

    void shouldFormatBothLineForms()
    {
        const QDateTime time(QDate(2026, 3, 5), QTime(14, 3, 7, 45));
        const QString tag = Logger::sourceTag();
        const QString prefix = QStringLiteral("05.03.2026, 14:03:07:045 [BrenvaleTAPIDriver, ID: 3] ");
        QCOMPARE(Logger::formatLine(Verbose, tag, "onStop", "void __cdecl f(int __stdcall, __fastcall)", time),
                 prefix + "[Verbose] [void  f(int , __fastcall)]:: onStop");
        QCOMPARE(Logger::formatLine(Warning, tag, "gone", QString(), time), prefix + "[Warning]:: gone");
        // Appended, not substituted: markers in either field stay as they are.
        QCOMPARE(Logger::formatLine(Debug, tag, "%1 %5", "g(%1)", time), prefix + "[Debug] [g(%1)]:: %1 %5");
        QCOMPARE(Logger::formatLine(-1, tag, "m", QString(), time), prefix + "[Unknown]:: m");
        QCOMPARE(Logger::formatLine(4, tag, "m", QString(), time), prefix + "[Unknown]:: m");
    }

    // Only the const char* form of verbose() listens to the enabled switch.
    void shouldSendEachEntryToQtAndWhileSwitchedOnToTheFile()
    {
        Logger::instance().setFileLogging(true);
        Logger::verbose("Jürgen", QStringLiteral("f()"));
        Logger::debug(QVariant(42));
        Logger::warning(QVariant(QByteArray("bytes")));
        Logger::error(QVariant(1.5));
        Logger::instance().setEnabled(false);
        Logger::verbose("hidden");
        Logger::verbose(QVariant("shown"));
        Logger::error("always");
        Logger::instance().setFileLogging(false);
        Logger::verbose(QVariant("after"));

        const QStringList entries{"debug [Verbose] [f()]:: Jürgen", "debug [Debug]:: 42", "warning [Warning]:: bytes",
                                  "warning [Error]:: 1.5", "debug [Verbose]:: shown", "warning [Error]:: always"};
        QCOMPARE(messages, entries + QStringList{"debug [Verbose]:: after"});
        QCOMPARE(fileLines().size(), entries.size());
    }

    void shouldRollTheLogFileOverPastItsSize()
    {
        Logger::instance().setFileLogging(true);
        Logger::instance().setMaxFileSize(256 * 1024);
        const QString chunk(16 * 1024, QLatin1Char('x'));
        const QString backup = Logger::logFilePath() + QStringLiteral(".1");
        for (int i = 0; i < 200 && !QFile::exists(backup); ++i)
            Logger::debug(chunk);

        // Rolled over by the first line that took the file past the limit.
        QVERIFY(QFileInfo(backup).size() > 256 * 1024);
        QVERIFY(QFileInfo(backup).size() <= 256 * 1024 + chunk.size() + 200);
        Logger::debug(QStringLiteral("fresh"));
        QCOMPARE(fileLines().size(), 1);
    }

    // A message longer than a line carries ends in a note of what it lost, in Qt's output and in
    // the file alike. It is cut between characters, never inside one.
    void shouldCutAMessageTooLongForOneLine()
    {
        Logger::instance().setFileLogging(true);
        const QString euros(30000, QChar(0x20AC)); // 90,000 bytes of UTF-8
        Logger::verbose(QVariant(euros));
        const int kept = (Logger::maxMessageBytes - Logger::maxMarkerLength) / 3;
        const QString cut = QString(kept, QChar(0x20AC)) + QString(" ... [%1 more bytes]").arg(QLocale(QLocale::English).toString(90000 - 3 * kept));
        QCOMPARE(messages.last(), "debug [Verbose]:: " + cut);
        QVERIFY(fileLines().last().endsWith("[Verbose]:: " + cut));

        const QString fits(Logger::maxMessageBytes, QLatin1Char('z'));
        Logger::verbose(QVariant(fits));
        QCOMPARE(messages.last(), "debug [Verbose]:: " + fits);
        QVERIFY(fileLines().last().endsWith(fits));
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

        std::vector<std::thread> others(3);
        for (std::thread &other : others)
            other = std::thread(write);
        write();
        for (std::thread &other : others)
            other.join();

        QCOMPARE(fileLines().size(), 8000);
        for (const QString &line : fileLines())
            QVERIFY2(line.endsWith("[Verbose]:: " + text), qPrintable(line));
    }

    void shouldSkipAFileThatCannotBeOpenedSilently()
    {
        QVERIFY(QDir().mkpath(Logger::logFilePath())); // a folder where the file should be
        Logger::instance().setFileLogging(true);

        Logger::verbose("still reaches Qt");

        QCOMPARE(messages, QStringList{"debug [Verbose]:: still reaches Qt"});
        QVERIFY(QDir(Logger::logFilePath()).removeRecursively());
    }
};

QTEST_GUILESS_MAIN(tst_Logger)
#include "tst_logger.moc"
