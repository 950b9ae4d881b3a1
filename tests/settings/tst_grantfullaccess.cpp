#include "configurationdata.h"
#include "grantfullaccess.h"
#include "messagecapture.h"
#include "testenvironment.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/acl.h>
#include <sys/stat.h>

// The default access list that new files in the folder inherit, as text.
static QString defaultEntries(const QByteArray &folder)
{
    acl_t acl = acl_get_file(folder.constData(), ACL_TYPE_DEFAULT);
    char *text = acl ? acl_to_text(acl, nullptr) : nullptr;
    const QString entries = QString(text).simplified();
    acl_free(text);
    acl_free(acl);
    return entries;
}

class tst_GrantFullAccess : public QObject
{
    Q_OBJECT

private slots:
    void shouldOpenFolderAndFilesToEveryone()
    {
        QTemporaryDir dir;
        QByteArray folder = dir.path().toLocal8Bit();
        const mode_t previousMask = umask(077); // the most restrictive creator
        QVERIFY(QFile(dir.filePath("old.ini")).open(QIODevice::WriteOnly));
        for (int call = 0; call < 3; ++call)
            GrantFullAccess(folder.data());
        QVERIFY(QFile(dir.filePath("new.ini")).open(QIODevice::WriteOnly));
        umask(previousMask);

        const auto all = QFileDevice::ReadOther | QFileDevice::WriteOther;
        QCOMPARE(QFileInfo(dir.path()).permissions() & (all | QFileDevice::ExeOther), all | QFileDevice::ExeOther);
        QCOMPARE(QFileInfo(dir.filePath("old.ini")).permissions() & all, all);
        QCOMPARE(QFileInfo(dir.filePath("new.ini")).permissions() & all, all);
        QCOMPARE(defaultEntries(folder), "user::rwx group::rwx other::rwx");
    }

    // The settings folder as a link to a folder elsewhere: nothing there is opened to everyone,
    // and an Error line says why. The settings themselves are still stored where the link leads.
    void shouldNotChangeRightsThroughALink()
    {
        TestEnvironment environment;
        QTemporaryDir elsewhere;
        const QByteArray target = QFile::encodeName(elsewhere.path());
        QVERIFY(QFile(elsewhere.filePath("private.txt")).open(QIODevice::WriteOnly));
        QVERIFY(::chmod(target, 0700) == 0 && ::chmod(QFile::encodeName(elsewhere.filePath("private.txt")), 0600) == 0);
        QVERIFY(QFile::link(elsewhere.path(), environment.settingsFolder()));

        MessageCapture capture;
        ConfigurationData data;
        data.loadData();
        data.setServer("pbx.example");
        QVERIFY(data.synchronize());

        struct stat folder, file;
        QVERIFY(::stat(target, &folder) == 0 && ::stat(QFile::encodeName(elsewhere.filePath("private.txt")), &file) == 0);
        QCOMPARE(folder.st_mode & 07777, mode_t(0700));
        QCOMPARE(file.st_mode & 07777, mode_t(0600));
        QCOMPARE(defaultEntries(target), QString());
        QVERIFY(QFile::exists(elsewhere.filePath("BrenvaleTAPIDriver.ini")));
        QCOMPARE(environment.storedValue("server"), "pbx.example");
        QVERIFY(capture.contains("[Error] [int GrantFullAccess(char*)]:: not changing access rights through a symbolic link"));
    }
};

QTEST_GUILESS_MAIN(tst_GrantFullAccess)
#include "tst_grantfullaccess.moc"
