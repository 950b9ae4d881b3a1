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
};

QTEST_MAIN(tst_TerminationWatcher)
#include "tst_terminationwatcher.moc"
