#include "terminationwatcher.h"
#include "testenvironment.h"

#include <QDialog>
#include <QProcess>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <pthread.h>

class tst_TerminationWatcher : public QObject
{
    Q_OBJECT

private slots:
    void shouldRejectTheDialogWhenAskedToEnd()
    {
        QDialog dialog;
        new TerminationWatcher(&dialog);
        QTimer::singleShot(0, [] { std::raise(SIGTERM); });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    }

    void shouldEndBothProgramsWithExitCodeZero_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("diagnostic-tool") << QStringLiteral(DIAGNOSTIC_TOOL);
        QTest::newRow("configuration-tool") << QStringLiteral(CONFIGURATION_TOOL);
    }

    void shouldEndBothProgramsWithExitCodeZero()
    {
        QFETCH(QString, program);
        TestEnvironment environment;
        QProcess process;
        // Started with the request blocked, the program gets it once it is ready for it.
        sigset_t terminate, previous;
        sigemptyset(&terminate);
        sigaddset(&terminate, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &terminate, &previous);
        process.start(program, {QStringLiteral("-platform"), QStringLiteral("offscreen")});
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        QVERIFY(process.waitForStarted());
        process.terminate();
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY2(!QFile::exists(environment.settingsFilePath()), "a cancelled dialog writes nothing");
    }

    // OK ends the program with 0 as well, once it has stored the settings. Typed on a virtual
    // display, as a user would: the cursor is in the server field, and Return presses OK.
    void shouldEndTheConfigurationToolWithZeroAfterOk()
    {
        TestEnvironment environment;
        QProcess display;
        display.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
        QVERIFY2(display.waitForStarted(5000), "Xvfb (installed by scripts/setup.sh)");
        QTRY_VERIFY_WITH_TIMEOUT(display.canReadLine(), 10000); // its number, once it is ready
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        variables.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + QString::fromLatin1(display.readLine()).trimmed());
        variables.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

        QProcess tool;
        tool.setProcessEnvironment(variables);
        tool.start(QStringLiteral(CONFIGURATION_TOOL), QStringList());
        QProcess keyboard;
        keyboard.setProcessEnvironment(variables);
        keyboard.start(QStringLiteral("xdotool"), {"search", "--sync", "--onlyvisible", "--name", "TAPI Treiber Konfiguration",
                                                   "windowfocus", "--sync", "key", "Return"});
        QVERIFY(keyboard.waitForFinished(10000));
        QCOMPARE(keyboard.exitCode(), 0);
        QVERIFY(tool.waitForFinished(10000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 0);
        QVERIFY2(QFile::exists(environment.settingsFilePath()), "OK stored the settings");
        display.terminate();
        display.waitForFinished(5000);
    }
};

QTEST_MAIN(tst_TerminationWatcher)
#include "tst_terminationwatcher.moc"
