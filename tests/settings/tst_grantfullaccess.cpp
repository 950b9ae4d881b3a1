#include "grantfullaccess.h"
#include "messagecapture.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/acl.h>
#include <sys/stat.h>

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
        MessageCapture capture;
        for (int call = 0; call < 3; ++call)
            QCOMPARE(GrantFullAccess(folder.data()), 1);
        QVERIFY(QFile(dir.filePath("new.ini")).open(QIODevice::WriteOnly));
        umask(previousMask);

        const auto all = QFileDevice::ReadOther | QFileDevice::WriteOther;
        QCOMPARE(QFileInfo(dir.path()).permissions() & (all | QFileDevice::ExeOther), all | QFileDevice::ExeOther);
        QCOMPARE(QFileInfo(dir.filePath("old.ini")).permissions() & all, all);
        QCOMPARE(QFileInfo(dir.filePath("new.ini")).permissions() & all, all);
        acl_t acl = acl_get_file(folder.constData(), ACL_TYPE_DEFAULT);
        char *text = acl ? acl_to_text(acl, nullptr) : nullptr;
        const QString defaultEntries = QString(text).simplified();
        acl_free(text);
        acl_free(acl);
        QCOMPARE(defaultEntries, "user::rwx group::rwx other::rwx");
        QCOMPARE(capture.messages().size(), 6);
        QVERIFY(capture.messages().first().endsWith("[Verbose] [int GrantFullAccess(char*)]:: GrantFullAccess starts\""));
        QVERIFY(capture.messages().last().endsWith("[Verbose] [int GrantFullAccess(char*)]:: setting access rights success\""));

        // The caller writes its file in any case, so even a missing folder is no failure.
        capture.clear();
        QByteArray missing = dir.filePath("missing").toLocal8Bit();
        QCOMPARE(GrantFullAccess(missing.data()), 1);
        QVERIFY(capture.contains("setting access rights success"));
        QVERIFY(!capture.contains("exception thrown"));
    }
};

QTEST_GUILESS_MAIN(tst_GrantFullAccess)
#include "tst_grantfullaccess.moc"
