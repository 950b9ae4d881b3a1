#include "configurationdata.h"
#include "inifile.h"
#include "installationregistry.h"
#include "messagecapture.h"
#include "testenvironment.h"

#include <QDir>
#include <QTextCodec>
#include <QtTest>

#include <functional>
#include <memory>

using Edit = std::function<void(ConfigurationData &)>;
Q_DECLARE_METATYPE(Edit)

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

} // namespace

class tst_ConfigurationData : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> environment;

private slots:
    void init() { environment = std::make_unique<TestEnvironment>(); }
    void cleanup() { environment.reset(); }

    void shouldLoadDefaultsWithoutCreatingAFile()
    {
        QCOMPARE(ConfigurationData().getPort(), 0);
        const ConfigurationData data = loaded();
        QCOMPARE(data.settingsFilePath(), QDir::toNativeSeparators(environment->settingsFilePath()));
        QVERIFY(data.getServer().isEmpty() && data.getUserName().isEmpty());
        QVERIFY(data.getPassword().isEmpty() && data.getMessage().isEmpty());
        QCOMPARE(data.getPort(), 28888);
        QVERIFY(!data.getLogger() && !data.isChanged() && !data.isMultiUser());
        QVERIFY(!QFile::exists(environment->settingsFilePath()));
    }

    void shouldCreateTheFolderAndWriteTheSevenKeysInOrderOnEveryCall()
    {
        MessageCapture capture;
        ConfigurationData data = loaded();
        data.setServer(QStringLiteral("pbx.example"));
        data.setPassword(QStringLiteral("secret"));
        data.setMessage(QStringLiteral("Logged in"));
        data.setLogger(true);
        QVERIFY(data.synchronize());
        QVERIFY(data.synchronize());
        QCOMPARE(environment->readSettingsFile(),
                 settingsText({{"server", "pbx.example"}, {"userName", ""}, {"password", "c2VjcmV0"}, {"port", "28888"},
                               {"message", "Logged in"}, {"logger", "true"}, {"changed", "true"}}));
        // The folder is opened to everyone before every write.
        QCOMPARE(capture.matching(QStringLiteral("[Debug] [bool ConfigurationData::synchronize()]:: ")
                                  + QDir::toNativeSeparators(environment->settingsFolder()))
                     .size(),
                 2);
        QCOMPARE(capture.matching(QStringLiteral("setting access rights success")).size(), 2);
    }

    void shouldRoundTripEveryFieldOverManyCycles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QStringLiteral("plain text 1");
        QTest::newRow("empty") << QString();
        QTest::newRow("non-ascii") << QStringLiteral("Jürgen Größe €");
        QTest::newRow("equals and quotes inside") << QStringLiteral("a=b \"c\" 'd");
    }

    void shouldRoundTripEveryFieldOverManyCycles()
    {
        QFETCH(QString, text);
        for (int cycle = 0; cycle < 3; ++cycle) {
            ConfigurationData data = loaded();
            data.setServer(text);
            data.setUserName(text);
            data.setPassword(text);
            data.setMessage(text);
            data.setPort(4711);
            data.setLogger(true);
            data.setChanged(false);
            QVERIFY(data.synchronize());
        }
        const ConfigurationData back = loaded();
        QCOMPARE(back.getServer(), text);
        QCOMPARE(back.getUserName(), text);
        QCOMPARE(back.getPassword(), text);
        QCOMPARE(back.getMessage(), text);
        QCOMPARE(back.getPort(), 4711);
        QVERIFY(back.getLogger() && !back.isChanged());
        QCOMPARE(environment->storedValue(QStringLiteral("password")).toUtf8(), text.toUtf8().toBase64());
    }

    void shouldKeepAPasswordWithANulCharacter()
    {
        environment->writeSettingsFile(settingsText({{"password", QByteArray("a\0b", 3).toBase64()}}));
        QCOMPARE(loaded().getPassword(), QString::fromUtf8("a\0b", 3));
    }

    void shouldReadTextOfOtherProgramsInTheLocalCodePage()
    {
        QTextCodec *const previous = QTextCodec::codecForLocale();
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("windows-1252"));
        environment->writeSettingsFile(settingsText({{"userName", "J\xfcrgen"}, {"server", "M\xc3\xbcller"}}));
        const ConfigurationData data = loaded();
        QTextCodec::setCodecForLocale(previous);
        QCOMPARE(data.getUserName(), QStringLiteral("Jürgen"));
        QCOMPARE(data.getServer(), QStringLiteral("Müller"));
    }

    void shouldConvertPortAndFlags_data()
    {
        QTest::addColumn<QByteArray>("port");
        QTest::addColumn<int>("expectedPort");
        QTest::addColumn<QByteArray>("flag");
        QTest::addColumn<bool>("expectedFlag");
        QTest::newRow("numbers") << QByteArray("4711") << 4711 << QByteArray("true") << true;
        QTest::newRow("blanks around") << QByteArray("  80 ") << 80 << QByteArray(" yes ") << true;
        QTest::newRow("not a number") << QByteArray("abc") << 0 << QByteArray("1") << true;
        QTest::newRow("empty") << QByteArray("") << 28888 << QByteArray("") << false;
        QTest::newRow("missing") << QByteArray() << 28888 << QByteArray() << false;
        QTest::newRow("false in capitals") << QByteArray("-1") << -1 << QByteArray("FALSE") << false;
        QTest::newRow("zero") << QByteArray("0") << 0 << QByteArray("0") << false;
    }

    void shouldConvertPortAndFlags()
    {
        QFETCH(QByteArray, port);
        QFETCH(int, expectedPort);
        QFETCH(QByteArray, flag);
        QFETCH(bool, expectedFlag);
        QList<QPair<QByteArray, QByteArray>> keys = {{"server", "s"}};
        if (!port.isNull())
            keys += {{"port", port}, {"logger", flag}, {"changed", flag}};
        environment->writeSettingsFile(settingsText(keys));
        const ConfigurationData data = loaded();
        QCOMPARE(data.getPort(), expectedPort);
        QCOMPARE(data.getLogger(), expectedFlag);
        QCOMPARE(data.isChanged(), expectedFlag);
    }

    void shouldCutValuesAt254BytesWithoutSplittingACharacter()
    {
        environment->writeSettingsFile(settingsText({{"message", QByteArray(300, 'm')},
                                                     {"server", QByteArray(253, 'u') + "\xc3\xbctail"}}));
        const ConfigurationData data = loaded();
        QCOMPARE(data.getMessage(), QString(254, QLatin1Char('m')));
        QCOMPARE(data.getServer(), QString(253, QLatin1Char('u')));
    }

    void shouldRaiseChangedOnlyForRealConnectionChanges_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<bool>("raised");
        QTest::newRow("same server") << Edit([](ConfigurationData &d) { d.setServer(QStringLiteral("pbx")); }) << false;
        QTest::newRow("new server") << Edit([](ConfigurationData &d) { d.setServer(QStringLiteral("other")); }) << true;
        QTest::newRow("same user") << Edit([](ConfigurationData &d) { d.setUserName(QStringLiteral("anna")); }) << false;
        QTest::newRow("new user") << Edit([](ConfigurationData &d) { d.setUserName(QStringLiteral("bert")); }) << true;
        QTest::newRow("same password") << Edit([](ConfigurationData &d) { d.setPassword(QStringLiteral("secret")); }) << false;
        QTest::newRow("new password") << Edit([](ConfigurationData &d) { d.setPassword(QStringLiteral("Secret")); }) << true;
        QTest::newRow("port, message, logger") << Edit([](ConfigurationData &d) {
            d.setPort(1);
            d.setMessage(QStringLiteral("new"));
            d.setLogger(true);
        }) << false;
        QTest::newRow("raised stays raised") << Edit([](ConfigurationData &d) {
            d.setChanged(true);
            d.setServer(QStringLiteral("pbx"));
        }) << true;
    }

    void shouldRaiseChangedOnlyForRealConnectionChanges()
    {
        QFETCH(Edit, edit);
        QFETCH(bool, raised);
        environment->writeSettingsFile(settingsText({{"server", "pbx"}, {"userName", "anna"}, {"password", "c2VjcmV0"}}));
        ConfigurationData data = loaded();
        edit(data);
        QCOMPARE(data.isChanged(), raised);
    }

    void shouldReadTheRegistryOncePerRecord()
    {
        MessageCapture capture;
        const QString bin = QDir::separator() + QStringLiteral("TAPIDriver") + QDir::separator() + QStringLiteral("bin");
        ConfigurationData withoutValue;
        withoutValue.loadData();
        environment->setInstallationDir(QStringLiteral("/opt/tapi"));
        withoutValue.loadData();
        QCOMPARE(capture.matching(QStringLiteral("[Debug] [void ConfigurationData::loadData()]:: ") + bin + '"').size(), 2);

        ConfigurationData withValue;
        withValue.loadData();
        environment->setInstallationDir(QStringLiteral("/opt/other"));
        withValue.loadData();
        QCOMPARE(capture.matching(QStringLiteral(":: /opt/tapi") + bin).size(), 2);
        QVERIFY(!capture.contains(QStringLiteral("/opt/other")));

        const QString view = QSysInfo::buildCpuArchitecture() == QLatin1String("x86_64") ? QStringLiteral("Wow6432Node\\") : QString();
        QCOMPARE(installationRegistryPath(),
                 QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\") + view + QStringLiteral("Brenvale Europe GmbH\\BrenvaleTAPIDriver"));
    }

    void shouldFailWithoutWritingWhenTheFolderCannotBeCreated()
    {
        const QString blocker = environment->root() + QStringLiteral("/blocker");
        QFile(blocker).open(QIODevice::WriteOnly);
        qputenv("ProgramData", QFile::encodeName(blocker));
        MessageCapture capture;
        ConfigurationData data;
        data.setServer(QStringLiteral("pbx"));
        QVERIFY(!data.synchronize());
        QVERIFY(capture.contains(QStringLiteral("[Warning] [bool ConfigurationData::synchronize()]:: "
                                                "Unable to create the folder for the settings: ")
                                 + blocker + QStringLiteral("/Brenvale Europe GmbH")));
        QCOMPARE(data.getServer(), QStringLiteral("pbx"));
        QCOMPARE(QFileInfo(blocker).size(), 0);

        qunsetenv("ProgramData");
        QCOMPARE(ConfigurationData().settingsFilePath(), QStringLiteral("/var/lib/Brenvale Europe GmbH/BrenvaleTAPIDriver.ini"));
    }

    void shouldNeverBreakTheLineStructure()
    {
        ConfigurationData data = loaded();
        data.setServer(QStringLiteral("pbx"));
        data.setMessage(QStringLiteral("first\r\nserver=evil\nthird\rfourth"));
        data.setUserName(QStringLiteral("\n[Other]\r\nx=1"));
        QVERIFY(data.synchronize());
        QCOMPARE(environment->readSettingsFile().count('\n'), 8);
        const ConfigurationData back = loaded();
        QCOMPARE(back.getServer(), QStringLiteral("pbx"));
        QCOMPARE(back.getMessage(), QStringLiteral("first  server=evil third fourth"));
        QCOMPARE(back.getUserName(), QStringLiteral("[Other]  x=1")); // leading blank dropped on write
    }

    void shouldSurviveDamagedFilesAndKeepForeignContent_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("foreign");
        QTest::addColumn<QString>("server");
        QByteArray binary(4096, '\0');
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = char((i * 7919) % 251);
        const QByteArray huge = QByteArray("; filler line\r\n").repeated(400000) + "[UserData]\r\nserver=far\r\n";
        QTest::newRow("empty") << QByteArray() << QByteArray() << QString();
        QTest::newRow("binary") << binary << binary.left(100) << QString();
        QTest::newRow("several megabytes") << huge << huge.left(huge.size() - 30) << "far";
        QTest::newRow("foreign sections, duplicates")
            << QByteArray("; driver\r\n[Driver]\r\nk=v\r\n[UserData]\r\nserver=one\r\nserver=two\r\n[UserData]\r\nserver=three\r\n")
            << QByteArray("; driver\r\n[Driver]\r\nk=v\r\n") << "one";
        QTest::newRow("LF line ends") << QByteArray("[Other]\nk=v\n[UserData]\nserver=lf\n") << QByteArray("[Other]\nk=v\n") << "lf";
        QTest::newRow("CR line ends") << QByteArray("[UserData]\rserver=cr\r[Other]\rk=v\r") << QByteArray("[Other]\rk=v\r") << "cr";
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf[UserData]\r\nserver=bom\r\n")
                                         << QByteArray("\xef\xbb\xbf[UserData]\r\n") << "bom";
    }

    void shouldSurviveDamagedFilesAndKeepForeignContent()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, foreign);
        QFETCH(QString, server);
        environment->writeSettingsFile(content);
        ConfigurationData data = loaded();
        QCOMPARE(data.getServer(), server);
        data.setServer(QStringLiteral("new"));
        data.setPassword(QStringLiteral("pw"));
        QVERIFY(data.synchronize());
        const ConfigurationData back = loaded();
        QCOMPARE(back.getServer(), QStringLiteral("new"));
        QCOMPARE(back.getPassword(), QStringLiteral("pw"));
        QVERIFY(environment->readSettingsFile().contains(foreign));
    }

    void shouldTreatAReadOnlyFileAsEveryonesToWrite()
    {
        const QByteArray content = settingsText({{"server", "locked"}, {"userName", "anna"}});
        environment->writeSettingsFile(content);
        QFile::setPermissions(environment->settingsFilePath(), QFileDevice::ReadOwner | QFileDevice::ReadOther);
        IniFile file(environment->settingsFilePath());
        file.setSection(QStringLiteral("UserData"));
        QVERIFY(!file.setValue(QStringLiteral("server"), QStringLiteral("new")));
        QCOMPARE(environment->readSettingsFile(), content);

        // The store opens the folder and its files to everyone before it writes.
        ConfigurationData data = loaded();
        data.setServer(QStringLiteral("new"));
        QVERIFY(data.synchronize());
        QCOMPARE(loaded().getServer(), QStringLiteral("new"));
        QCOMPARE(loaded().getUserName(), QStringLiteral("anna"));
    }
};

QTEST_GUILESS_MAIN(tst_ConfigurationData)
#include "tst_configurationdata.moc"
