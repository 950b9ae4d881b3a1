#include "demoserver.h"
#include "messagecapture.h"
#include "testenvironment.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Runs a program to its end within timeout; what it printed is in output (both channels).
bool run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr, int timeout = 240000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(timeout);
    const QByteArray printed = process.readAll();
    if (output)
        *output = printed;
    const bool succeeded = ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!succeeded && !output)
        qWarning().noquote() << program << arguments.join(' ') << "failed:\n" << printed;
    return succeeded;
}

// Configures the consumer project against the installation at prefix, asking for version.
bool configureConsumer(const QString &build, const QString &prefix, const QString &version, QByteArray *output = nullptr)
{
    return run(CMAKE_COMMAND, {"-S", CONSUMER_SOURCE_DIR, "-B", build, "-DCMAKE_PREFIX_PATH=" + prefix,
                               "-DBRENVALE_TAPI_VERSION=" + version, "-DCMAKE_CXX_COMPILER=" CONSUMER_CXX_COMPILER,
                               "-DCMAKE_BUILD_TYPE=" CONSUMER_BUILD_TYPE, "-D" CONSUMER_QT_PACKAGE "_DIR=" CONSUMER_QT_DIR,
                               "-DCMAKE_EXE_LINKER_FLAGS=" CONSUMER_LINK_FLAGS},
               output);
}

} // namespace

// The CTI client as another project takes it in: installed with `cmake --install`, found with
// find_package, linked as BrenvaleTapi::CtiClient, and logging in to a real server.
class tst_InstalledPackage : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    QString prefix;

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        prefix = work.filePath("prefix");
        QVERIFY(run(CMAKE_COMMAND, {"--install", BUILD_DIR, "--prefix", prefix}));
    }

    // The public headers in a folder of their own. (The libraries and the package with its version
    // are what the consumer below is built with.)
    void shouldInstallThePublicHeadersOnly()
    {
        const QDir include(prefix + "/include/BrenvaleTapi");
        for (const char *header : {"cticonnector.h", "ctimessage.h", "configurationdata.h", "logger.h",
                                   "applicationnames.h", "model.h", "modelsubclass.h", "line.h", "ucitem.h"})
            QVERIFY2(include.exists(header), header);
        // What only the libraries' own sources use stays out.
        for (const char *header : {"boundedjsonwriter.h", "inifile.h", "privateprofile.h", "textdecoding.h"})
            QVERIFY2(!include.exists(header), header);
        // The programs are not part of it.
        QVERIFY(!QDir(prefix).exists("bin"));
    }

    // A later minor version satisfies a request; another major version does not.
    void shouldAcceptOnlyCompatibleVersions()
    {
        const QString version = PACKAGE_VERSION;
        const int major = version.section('.', 0, 0).toInt();
        QByteArray output;
        QVERIFY2(configureConsumer(work.filePath("older"), prefix, QString("%1.0").arg(major), &output), output.constData());
        QVERIFY(!configureConsumer(work.filePath("newer"), prefix, QString("%1.0").arg(major + 1), &output));
        QVERIFY2(output.contains("BrenvaleTapi") && output.contains(version.toLatin1()), output.constData());
        QVERIFY(!configureConsumer(work.filePath("previous"), prefix, QString("%1.0").arg(major - 1), &output));
    }

    // The consumer reads the stored settings and logs in with them; the server checks the
    // credentials, which are not the demo's own.
    void shouldBuildAConsumerThatLogsIn()
    {
        const QString build = work.filePath("consumer");
        QVERIFY(configureConsumer(build, prefix, PACKAGE_VERSION));
        QVERIFY(run(CMAKE_COMMAND, {"--build", build}));

        TestEnvironment environment;
        const MessageCapture capture;
        DemoServer server;
        server.setCredentials("consumer", "Pässwort");
        QVERIFY(server.listen());
        environment.writeSettingsFile("[UserData]\r\nserver=127.0.0.1\r\nport=" + QByteArray::number(server.port())
                                      + "\r\nuserName=consumer\r\npassword=" + QByteArray("Pässwort").toBase64() + "\r\n");

        QProcess consumer;
        consumer.start(build + "/consumer", QStringList());
        // The server runs in this process: the loop must turn while the consumer talks to it.
        QTRY_VERIFY_WITH_TIMEOUT(consumer.state() == QProcess::NotRunning, 60000);
        const QByteArray printed = consumer.readAllStandardOutput();
        QVERIFY2(consumer.exitStatus() == QProcess::NormalExit && consumer.exitCode() == 0,
                 printed + consumer.readAllStandardError());
        // One login, with the stored credentials; the last status is the consumer's own stop.
        QCOMPARE(printed, QByteArray("Trying to connect to server ...\nConnected to server\nLogged in\nDisconnected from server\n"));
    }
};

QTEST_GUILESS_MAIN(tst_InstalledPackage)
#include "tst_installedpackage.moc"
