#include "grantfullaccess.h"
#include "messagecapture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/acl.h>
#include <sys/stat.h>

namespace {

int grant(const QString &path)
{
    QByteArray local = path.toLocal8Bit();
    return GrantFullAccess(local.data());
}

QString defaultAcl(const QString &path)
{
    acl_t acl = acl_get_file(QFile::encodeName(path).constData(), ACL_TYPE_DEFAULT);
    char *text = acl ? acl_to_text(acl, nullptr) : nullptr;
    const QString result = QString::fromLocal8Bit(text).simplified();
    acl_free(text);
    acl_free(acl);
    return result;
}

} // namespace

class tst_GrantFullAccess : public QObject
{
    Q_OBJECT

private slots:
    void shouldOpenFolderAndFilesToEveryone()
    {
        QTemporaryDir dir;
        const mode_t previousMask = umask(077); // the most restrictive creator
        QFile existing(dir.filePath(QStringLiteral("old.ini")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        MessageCapture capture;
        for (int call = 0; call < 3; ++call)
            QCOMPARE(grant(dir.path()), 1);
        QFile created(dir.filePath(QStringLiteral("new.ini")));
        QVERIFY(created.open(QIODevice::WriteOnly));
        created.close();
        umask(previousMask);

        const auto all = QFileDevice::ReadOther | QFileDevice::WriteOther;
        QCOMPARE(QFileInfo(dir.path()).permissions() & (all | QFileDevice::ExeOther), all | QFileDevice::ExeOther);
        QCOMPARE(QFileInfo(existing.fileName()).permissions() & all, all);
        QCOMPARE(QFileInfo(created.fileName()).permissions() & all, all);
        QCOMPARE(defaultAcl(dir.path()), QStringLiteral("user::rwx group::rwx other::rwx"));
        QCOMPARE(capture.messages().size(), 6);
        QVERIFY(capture.messages().first().endsWith(QStringLiteral("[Verbose] [int GrantFullAccess(char*)]:: GrantFullAccess starts\"")));
        QVERIFY(capture.messages().last().endsWith(QStringLiteral("[Verbose] [int GrantFullAccess(char*)]:: setting access rights success\"")));
    }

    void shouldReportSuccessForAMissingPath()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("missing"));
        MessageCapture capture;
        QCOMPARE(grant(missing), 1);
        QVERIFY(!QFileInfo::exists(missing));
        QVERIFY(capture.contains(QStringLiteral("setting access rights success")));
        QVERIFY(!capture.contains(QStringLiteral("exception thrown")));
    }
};

QTEST_GUILESS_MAIN(tst_GrantFullAccess)
#include "tst_grantfullaccess.moc"
