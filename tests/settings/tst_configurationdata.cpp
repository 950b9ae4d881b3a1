#include "configurationdata.h"
#include "inifile.h"
#include "messagecapture.h"
#include "testenvironment.h"
#include "textdecoding.h"

#include <QtTest>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#endif

#include <memory>

#ifndef Q_OS_WIN
#include "privateprofile.h"

#include <fcntl.h>
#include <future>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

QByteArray settingsText(const QList<QPair<QByteArray, QByteArray>> &keys)
{
    QByteArray text = "[UserData]\r\n";
    for (const auto &key : keys)
        text += key.first + '=' + key.second + "\r\n";
    return text;
}

ConfigurationData loaded()
{
    ConfigurationData data;
    data.loadData();
    return data;
}

// Bytes this process has read from files so far; -1 where the system does not say.
qint64 bytesRead()
{
    QFile io("/proc/self/io");
    const QByteArray text = io.open(QIODevice::ReadOnly) ? io.readAll() : QByteArray();
    const int at = text.indexOf("rchar: ");
    return at < 0 ? -1 : text.mid(at + 7, text.indexOf('\n', at) - at - 7).toLongLong();
}

// The seven fields by their keys in the file, so that a whole record compares at once.
QVariantMap fields(const ConfigurationData &data)
{
    return {{"server", data.getServer()}, {"userName", data.getUserName()}, {"password", data.getPassword()},
            {"port", data.getPort()}, {"message", data.getMessage()}, {"logger", data.getLogger()},
            {"changed", data.isChanged()}};
}

} // namespace

class tst_ConfigurationData : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnvironment> environment;

private slots:
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Text of other programs arrives in the local code page; a Western one makes that visible.
    // Qt 6 takes the local code page from the system alone.
    void initTestCase() { QTextCodec::setCodecForLocale(QTextCodec::codecForName("windows-1252")); }
#endif
    void init() { environment = std::make_unique<TestEnvironment>(); }
    void cleanup() { environment.reset(); }

    void shouldLoadDefaultsAndWriteTheSevenKeysOnEverySynchronize()
    {
        ConfigurationData data = loaded();
        const QVariantMap defaults{{"server", ""}, {"userName", ""}, {"password", ""}, {"port", 28888},
                                   {"message", ""}, {"logger", false}, {"changed", false}};
        QCOMPARE(fields(data), defaults);
        QVERIFY(!QFile::exists(environment->settingsFolder()));

        MessageCapture capture;
        data.setServer("pbx.example");
        data.setPassword("secret");
        data.setLogger(true);
        QVERIFY(data.synchronize());
        QVERIFY(data.synchronize());
        QCOMPARE(environment->readSettingsFile(),
                 settingsText({{"server", "pbx.example"}, {"userName", ""}, {"password", "c2VjcmV0"}, {"port", "28888"},
                               {"message", ""}, {"logger", "true"}, {"changed", "true"}}));
        // The folder is opened to everyone before every write.
        const QString folder = MessageCapture::quoted(QDir::toNativeSeparators(environment->settingsFolder()));
        QCOMPARE(capture.matching("[Debug] [bool ConfigurationData::synchronize()]:: " + folder).size(), 2);
        QCOMPARE(capture.matching("setting access rights success").size(), 2);
    }

    // "back" is what the texts read back as: a line break must never split a line of the file.
    void shouldRoundTripEveryFieldOverSeveralCycles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("back");
        QTest::newRow("ascii") << "plain text 1" << "plain text 1";
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("non-ascii") << "Jürgen Größe €" << "Jürgen Größe €";
        QTest::newRow("starting with U+FEFF") << QString(QChar(0xFEFF)) + "x" << QString(QChar(0xFEFF)) + "x";
        QTest::newRow("equals and quotes inside") << "a=b \"c\" 'd" << "a=b \"c\" 'd";
        QTest::newRow("line breaks") << "\r\n[Other]\nserver=evil\rx" << "[Other] server=evil x";
        const QString long1000 = QString("Pässwort-").repeated(112).left(1000);
        QTest::newRow("1,000 characters") << long1000 << long1000;
    }

    void shouldRoundTripEveryFieldOverSeveralCycles()
    {
        QFETCH(QString, text);
        QFETCH(QString, back);
        for (int cycle = 0; cycle < 3; ++cycle) {
            ConfigurationData data = loaded();
            for (auto set : {&ConfigurationData::setServer, &ConfigurationData::setUserName, &ConfigurationData::setPassword,
                             &ConfigurationData::setMessage})
                (data.*set)(text);
            data.setPort(4711);
            data.setLogger(true);
            data.setChanged(false);
            QVERIFY(data.synchronize());
        }
        const QVariantMap expected{{"server", back}, {"userName", back}, {"password", text}, {"port", 4711},
                                   {"message", back}, {"logger", true}, {"changed", false}};
        QCOMPARE(fields(loaded()), expected);
        QCOMPARE(environment->readSettingsFile().count('\n'), 8);
    }

    // One stored key each; a null "stored" leaves the key out.
    void shouldConvertStoredText_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("port not a number") << QByteArray("port") << QByteArray("abc") << QVariant(0);
        QTest::newRow("port empty") << QByteArray("port") << QByteArray("") << QVariant(28888);
        QTest::newRow("port missing") << QByteArray("port") << QByteArray() << QVariant(28888);
        QTest::newRow("logger yes") << QByteArray("logger") << QByteArray("yes") << QVariant(true);
        QTest::newRow("logger FALSE") << QByteArray("logger") << QByteArray("FALSE") << QVariant(false);
        QTest::newRow("changed 1") << QByteArray("changed") << QByteArray("1") << QVariant(true);
        QTest::newRow("changed 0") << QByteArray("changed") << QByteArray("0") << QVariant(false);
        // Longer than the first read: read again, whole, also a character across its end.
        const int first = IniFile::firstReadBytes;
        QTest::newRow("character across the first read's end") << QByteArray("server") << QByteArray(first - 2, 'u') + "\xc3\xbc"
                                                                << QVariant(QString(first - 2, 'u') + "ü");
        // "Jürgen" in the Western code page of Qt 5 here. Qt 6 takes the system's, outside Windows
        // UTF-8, where the stray byte stays visible; other code pages have a test of their own.
        QTest::newRow("local code page") << QByteArray("userName") << QByteArray("J\xfcrgen")
                                         << QVariant(QString::fromLocal8Bit("J\xfcrgen"));
        // "YQBi" is "a", NUL, "b" in Base64.
        QTest::newRow("NUL in the password") << QByteArray("password") << QByteArray("YQBi") << QVariant(QStringLiteral("a\0b"));
    }

    void shouldConvertStoredText()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, stored);
        QFETCH(QVariant, expected);
        environment->writeSettingsFile(stored.isNull() ? settingsText({}) : settingsText({{key, stored}}));
        QCOMPARE(fields(loaded()).value(key), expected);
    }

    // Qt 5 and Qt 6 decode alike: other programs' code pages, and each invalid byte as U+FFFD, also
    // where the text ends inside a character (a U+FEFF at the start: in the round trip).
    void shouldDecodeTextAlikeOnEveryQt_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("Windows-1252") << QByteArray("windows-1252") << QByteArray("J\xfcrgen \x80") << "Jürgen €" << true;
        QTest::newRow("IBM 850") << QByteArray("IBM 850") << QByteArray("J\x81rgen") << "Jürgen" << true;
        QTest::newRow("UTF-8") << QByteArray("UTF-8") << QByteArray("Gr\xc3\xbc\xc3\x9f\xe2\x82\xac") << "Grüß€" << true;
        QTest::newRow("UTF-8, invalid byte") << QByteArray("UTF-8") << QByteArray("a\xff" "b") << "a\uFFFD" "b" << false;
        QTest::newRow("UTF-8, cut inside a character") << QByteArray("UTF-8") << QByteArray("a\xe2\x82")
                                                       << "a\uFFFD\uFFFD" << false;
        QTest::newRow("unknown encoding") << QByteArray("no such code page") << QByteArray("abc") << QString() << false;
    }

    void shouldDecodeTextAlikeOnEveryQt()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(bool, valid);
        bool decodedValid = !valid;
        QCOMPARE(decodeText(bytes, encoding, &decodedValid), text);
        QCOMPARE(decodedValid, valid);
    }

    // Every read of a key reads the whole file again: a value a person could type takes one read,
    // any other at most two, also in a file of many megabytes. Past the cap a value is taken for
    // damage and reads as missing, every time, with a warning that names the key.
    void shouldReadAValueInAtMostTwoReadsOfTheFile_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("reads");
        QTest::newRow("typed") << 6000 << 1;
        QTest::newRow("as long as the cap") << IniFile::maxValueBytes << 2;
        QTest::newRow("one byte over the cap") << IniFile::maxValueBytes + 1 << 2;
        QTest::newRow("20 MB") << 20000000 << 2;
    }

    void shouldReadAValueInAtMostTwoReadsOfTheFile()
    {
        QFETCH(int, length);
        QFETCH(int, reads);
        const QByteArray text = settingsText({{"userName", "anna"}, {"server", QByteArray(length, 's')}});
        environment->writeSettingsFile(text);
        IniFile file(environment->settingsFilePath());
        file.setSection("UserData");
        const bool whole = length <= IniFile::maxValueBytes;
        for (int round = 0; round < 2; ++round) {
            MessageCapture capture;
            const qint64 before = bytesRead();
            const QString value = file.value("server", "default").toString();
            const qint64 read = bytesRead() - before;
            QCOMPARE(value, whole ? QString(length, 's') : QString("default"));
            QCOMPARE(capture.contains("[Warning] [QVariant IniFile::value(const QString&, const QVariant&) const]:: "
                                      "The value of server is longer than 1,048,576 bytes and is read as missing"),
                     !whole);
            QVERIFY2(before < 0 || read <= qint64(reads) * text.size() + 4096, qPrintable(QString::number(read)));
        }
        QCOMPARE(file.value("userName", QVariant()).toString(), "anna");
    }

#ifndef Q_OS_WIN
    // Another writer holds the settings file. One that is stopped (a debugger, a hung network
    // drive) makes the save give up after one bounded wait, not one per key, and say why; one that
    // finishes, however slowly, is waited for.
    void shouldWaitForAnotherWriterButGiveUpWhenItIsStopped()
    {
        environment->writeSettingsFile(settingsText({{"server", "old"}}));
        const int holder = ::open(QFile::encodeName(environment->settingsFilePath()), O_RDWR);
        QVERIFY(holder >= 0 && ::flock(holder, LOCK_EX) == 0);
        ConfigurationData data = loaded();
        data.setServer("new");
        QElapsedTimer elapsed;
        elapsed.start();
        QVERIFY(!data.synchronize());
        const qint64 waited = elapsed.elapsed();
        QVERIFY2(waited >= PrivateProfile::lockTimeoutMilliseconds && waited < 2 * PrivateProfile::lockTimeoutMilliseconds,
                 qPrintable(QString::number(waited)));
        QCOMPARE(data.errorString(), "another program has been writing the file for more than 3 seconds");
        QCOMPARE(loaded().getServer(), "old");

        elapsed.restart();
        const auto finishing = std::async(std::launch::async, [holder] { QThread::msleep(1000); ::close(holder); });
        QVERIFY(data.synchronize());
        QVERIFY2(elapsed.elapsed() >= 900, qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(loaded().getServer(), "new");
    }
#endif

    // Each connection field in turn; "c2FtZQ==" is "same" in Base64.
    void shouldRaiseChangedOnlyForRealConnectionChanges()
    {
        environment->writeSettingsFile(settingsText({{"server", "same"}, {"userName", "same"}, {"password", "c2FtZQ=="}}));
        for (auto set : {&ConfigurationData::setServer, &ConfigurationData::setUserName, &ConfigurationData::setPassword}) {
            ConfigurationData data = loaded();
            (data.*set)("same");
            data.setPort(1);
            data.setMessage("new");
            data.setLogger(true);
            QVERIFY(!data.isChanged());
            (data.*set)("other");
            // Setting the same value again must not lower the raised flag.
            (data.*set)("other");
            QVERIFY(data.isChanged());
        }
    }

    void shouldReadTheRegistryOncePerRecord()
    {
        MessageCapture capture;
        ConfigurationData withoutValue = loaded();
        environment->setInstallationDir("/opt/tapi");
        ConfigurationData withValue = loaded();
        withoutValue.loadData();
        environment->setInstallationDir("/opt/other");
        withValue.loadData();
        // Each record logs what it read first, twice.
        const QString suffix = MessageCapture::quoted(QDir::toNativeSeparators("/TAPIDriver/bin"));
        QCOMPARE(capture.matching("[Debug] [void ConfigurationData::loadData()]:: " + suffix + '"').size(), 2);
        QCOMPARE(capture.matching(":: /opt/tapi" + suffix).size(), 2);
    }

    void shouldFailWithoutWritingWhereItCannotWrite()
    {
        // A folder where the settings file should be: every write fails, and says why.
        QVERIFY(QDir().mkpath(environment->settingsFilePath()));
        MessageCapture capture;
        ConfigurationData data = loaded();
        data.setServer("pbx.example");
        QVERIFY(!data.synchronize());
        QVERIFY(!data.errorString().isEmpty());
        const QString path = QDir::toNativeSeparators(environment->settingsFilePath());
        QVERIFY(capture.contains("[Warning] [bool ConfigurationData::synchronize()]:: Unable to write the settings file: "
                                 + MessageCapture::quoted(path + ": " + data.errorString())));
        QVERIFY(QDir(environment->settingsFilePath()).removeRecursively());

        // A file where the program-data folder should be: its folder cannot be created.
        const QByteArray content = settingsText({{"server", "kept"}});
        environment->writeSettingsFile(content);
        const QString blocker = environment->settingsFilePath();
        qputenv("ProgramData", QFile::encodeName(blocker));
        ConfigurationData blocked;
        QVERIFY(!blocked.synchronize());
        QVERIFY(!blocked.errorString().isEmpty());
        QVERIFY(capture.contains("[Warning] [bool ConfigurationData::synchronize()]:: Unable to create the folder for the settings: "
                                 + MessageCapture::quoted(blocker + "/Brenvale Europe GmbH")));
        QCOMPARE(environment->readSettingsFile(), content);

        // Without the variable: below the root of the current drive on Windows, /var/lib elsewhere.
        qunsetenv("ProgramData");
#ifdef Q_OS_WIN
        QCOMPARE(ConfigurationData().settingsFilePath(), "\\Brenvale Europe GmbH\\BrenvaleTAPIDriver.ini");
#else
        QCOMPARE(ConfigurationData().settingsFilePath(), "/var/lib/Brenvale Europe GmbH/BrenvaleTAPIDriver.ini");
#endif
    }

    // Content outside [UserData], several megabytes of it, stays in place: its lines one after the
    // other (Windows may write the line ends of the whole file anew). Of duplicates the first counts.
    void shouldKeepOtherContentOfALargeFile()
    {
        const QByteArray kept = "; c\r\n[Driver]\r\nk=v\r\n" + QByteArray("; filler line\r\n").repeated(400000);
        environment->writeSettingsFile(kept + "[UserData]\r\nserver=one\r\nserver=two\r\n[UserData]\r\nserver=three\r\n");
        ConfigurationData data = loaded();
        QCOMPARE(data.getServer(), "one");
        data.setServer("new");
        QVERIFY(data.synchronize());
        QCOMPARE(loaded().getServer(), "new");
        const auto lines = [](QByteArray bytes) {
            QList<QByteArray> lines = bytes.replace('\r', '\n').split('\n');
            lines.removeAll(QByteArray());
            return '\n' + lines.join('\n') + '\n';
        };
        QVERIFY(lines(environment->readSettingsFile()).contains(lines(kept)));
    }
};

QTEST_GUILESS_MAIN(tst_ConfigurationData)
#include "tst_configurationdata.moc"
