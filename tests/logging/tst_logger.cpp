#include "logger.h"
#include "messagecapture.h"
#include "testenvironment.h"

#include <QDateTime>
#include <QFile>
#include <QtTest>

#include <thread>
#include <vector>

class tst_Logger : public QObject
{
    Q_OBJECT

private:
    static QStringList fileLines()
    {
        QFile file(Logger::logFilePath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        lines.removeAll(QString());
        return lines;
    }

    TestEnvironment environment; // before the first entry: the log path is fixed then
    const QDateTime fixedTime{QDate(2026, 3, 5), QTime(14, 3, 7, 45)};

private slots:
    void cleanup()
    {
        Logger::instance().setFileLogging(false);
        Logger::instance().setEnabled(true);
        QFile::remove(Logger::logFilePath());
        QFile::remove(Logger::logFilePath() + QStringLiteral(".1"));
    }

    void shouldFormatBothLineForms_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("signature");
        QTest::addColumn<QString>("expected");
        const QString prefix = QStringLiteral("05.03.2026, 14:03:07:045 [BrenvaleTAPIDriver, ID: 3] ");
        QTest::newRow("with signature") << int(Verbose) << "onStop" << "void __cdecl CTIConnector::stop(void)"
                                        << prefix + "[Verbose] [void  CTIConnector::stop(void)]:: onStop";
        QTest::newRow("without signature") << int(Warning) << "folder missing" << QString()
                                           << prefix + "[Warning]:: folder missing";
        QTest::newRow("stdcall removed, other words kept")
            << int(Error) << "x" << "int __stdcall f(int __fastcall)" << prefix + "[Error] [int  f(int __fastcall)]:: x";
        QTest::newRow("markers inside fields stay literal")
            << int(Debug) << "100% %1 %5 [x]" << "void g(%1)" << prefix + "[Debug] [void g(%1)]:: 100% %1 %5 [x]";
        QTest::newRow("negative level") << -1 << "m" << QString() << prefix + "[Unknown]:: m";
        QTest::newRow("level past error") << 4 << "m" << QString() << prefix + "[Unknown]:: m";
    }

    void shouldFormatBothLineForms()
    {
        QFETCH(int, level);
        QFETCH(QString, message);
        QFETCH(QString, signature);
        QFETCH(QString, expected);
        QCOMPARE(Logger::formatLine(level, Logger::sourceTag(), message, signature, fixedTime), expected);
    }

    void shouldRouteLevelsToQtSeverities()
    {
        QList<QtMsgType> types;
        static QList<QtMsgType> *sink;
        sink = &types;
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &, const QString &) { sink->append(type); });
        Logger::verbose(QVariant(1));
        Logger::debug(QVariant(2));
        Logger::warning(QVariant(3));
        Logger::error(QVariant(4));
        Logger::error("five");
        qInstallMessageHandler(previous);
        QCOMPARE(types, (QList<QtMsgType>{QtDebugMsg, QtDebugMsg, QtWarningMsg, QtWarningMsg, QtWarningMsg}));
    }

    void shouldConvertMessagesToText()
    {
        MessageCapture capture;
        Logger::debug(QVariant(42), QStringLiteral("int main()"));
        Logger::verbose(QVariant(true));
        Logger::verbose(static_cast<const char *>(nullptr));
        Logger::error("Jürgen");
        const QStringList lines = capture.messages();
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines.at(0).endsWith(QStringLiteral("[Debug] [int main()]:: 42\"")));
        QVERIFY(lines.at(1).endsWith(QStringLiteral("[Verbose]:: true\"")));
        QVERIFY(lines.at(2).endsWith(QStringLiteral("[Verbose]:: \"")));
        QVERIFY(lines.at(3).contains(QStringLiteral("[Error]:: Jürgen")));
    }

    void shouldSilenceOnlyTheFixedTextVerboseWhenDisabled()
    {
        MessageCapture capture;
        Logger::instance().setEnabled(false);
        Logger::verbose("hidden");
        Logger::verbose(QVariant(QStringLiteral("shown verbose")));
        Logger::error("shown error");
        QCOMPARE(capture.matching(QStringLiteral("hidden")).size(), 0);
        QCOMPARE(capture.matching(QStringLiteral("shown")).size(), 2);
    }

    void shouldAppendToTheLogFileOnlyWhileSwitchedOn()
    {
        QCOMPARE(Logger::logFilePath(), environment.programData() + QStringLiteral("/BrenvaleTAPIDriver.log"));
        Logger::verbose("before");
        Logger::instance().setFileLogging(true);
        Logger::verbose("during €", QStringLiteral("void f()"));
        Logger::warning(QStringLiteral("second"));
        Logger::instance().setFileLogging(false);
        Logger::verbose("after");

        const QStringList lines = fileLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).endsWith(QStringLiteral("[Verbose] [void f()]:: during €")));
        QVERIFY(lines.at(1).endsWith(QStringLiteral("[Warning]:: second")));
    }

    void shouldRollTheLogFileOverPastTenMebibytes()
    {
        Logger::instance().setFileLogging(true);
        MessageCapture capture; // keeps the test output short
        const QString chunk(64 * 1024, QLatin1Char('x'));
        QFileInfo backup(Logger::logFilePath() + QStringLiteral(".1"));
        int written = 0;
        for (; !backup.exists() && written < 200; ++written, backup.refresh())
            Logger::debug(chunk);
        // Rolled over by the first line that took the file past the limit.
        QVERIFY(backup.size() > Logger::maxFileSize);
        QVERIFY(backup.size() <= Logger::maxFileSize + chunk.size() + 200);
        Logger::debug(QStringLiteral("fresh"));

        const QStringList lines = fileLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().endsWith(QStringLiteral(":: fresh")));
    }

    void shouldSkipAFileThatCannotBeOpened()
    {
        QVERIFY(QDir().mkpath(Logger::logFilePath())); // a folder where the file should be
        Logger::instance().setFileLogging(true);
        MessageCapture capture;
        Logger::verbose("still reaches Qt");
        QVERIFY(capture.contains(QStringLiteral("still reaches Qt")));
        QVERIFY(QDir(Logger::logFilePath()).removeRecursively());
    }

    void shouldKeepLinesWholeAcrossThreads()
    {
        Logger::instance().setFileLogging(true);
        MessageCapture capture;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < 200; ++i)
                    Logger::verbose(QVariant(QStringLiteral("thread %1 line %2 ").arg(t).arg(i).repeated(8)));
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        const QStringList lines = fileLines();
        QCOMPARE(lines.size(), 800);
        for (const QString &line : lines)
            QVERIFY2(line.contains(QStringLiteral("[Verbose]:: thread")) && line.endsWith(QLatin1Char(' ')), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(tst_Logger)
#include "tst_logger.moc"
