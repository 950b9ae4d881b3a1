#include "privateprofile.h"

#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Null byte arrays in the tables stand for null pointers or for an absent file.
static const char *orNull(const QByteArray &bytes) { return bytes.isNull() ? nullptr : bytes.constData(); }

// Bytes 0x01 to 0xFF, without the line breaks.
static const QByteArray everyByte = [] {
    QByteArray bytes;
    for (int byte = 0x01; byte <= 0xFF; ++byte)
        bytes += char(byte);
    return bytes.replace('\r', "").replace('\n', "");
}();

// Runs body in a child process, as the user uid when one is given; its exit status, or -1 when
// it did not exit.
template<typename Body>
static int inChild(Body body, uid_t uid = 0)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (uid != 0 && (::setgid(uid) != 0 || ::setuid(uid) != 0))
            ::_exit(100);
        ::_exit(body()); // plain C++ only in the child, and no destructors of the parent's objects
    }
    int status = -1;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Another user of the machine, who owns nothing of what the tests create.
static constexpr uid_t otherUser = 1001;

class tst_PrivateProfile : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("settings.ini"));

    void writeFile(const QByteArray &bytes) const
    {
        QFile file(QFile::decodeName(path));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }

    QByteArray fileBytes() const
    {
        QFile file(QFile::decodeName(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The key "k" of the section "s", both named with blanks around them, through a buffer of 255 bytes
    // as the settings store uses, with guard bytes behind it so that a write past the size shows.
    QByteArray read() const
    {
        QByteArray buffer(255 + 16, '\xCC');
        const DWORD length = GetPrivateProfileStringA(" s\t", "\tk ", " d \t", buffer.data(), 255, path);
        if (length >= 255 || buffer.at(int(length)) != '\0' || buffer.mid(255) != QByteArray(16, '\xCC'))
            return "<buffer misused>";
        return buffer.left(int(length));
    }

private slots:
    void init() { QFile::remove(QFile::decodeName(path)); }

    // A missing value reads as the default " d \t" without its trailing blanks.
    void shouldReadAsWindowsDoes_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char *name, const QByteArray &file,
                            const QByteArray &expected) { QTest::newRow(name) << file << expected; };
        row("missing file", nullptr, " d");
        row("missing section", "[t]\nk=v\n", " d");
        row("missing key", "[s]\nj=v\n", " d");
        row("ASCII case and blanks of names ignored", "\t[ S ]\n K\t= a  b \t\n", "a  b");
        row("split at the first equals sign", "[s]\nk = a=b\n", "a=b");
        row("0x1A, VT and FF are blanks, 0xA0 is not", "[s]\nk=\x1A\v\f\xA0v\xA0\x1A\v\f\n", "\xA0v\xA0");
        row("one outer pair of quotes removed", "[s]\nk= '\" a \"' \n", "\" a \"");
        row("unmatched quotes kept", "[s]\nk=\"a'\n", "\"a'");
        row("empty value, not the default", "[s]\nk=\n", "");
        row("no inline comments", "[s]\nk=v ;x\n", "v ;x");
        row("254 characters", "[s]\nk=" + QByteArray(254, 'x'), QByteArray(254, 'x'));
        row("255 characters cut", "[s]\nk=" + QByteArray(255, 'x'), QByteArray(254, 'x'));
        row("CR, LF and CRLF mixed", "[a]\r\nx=1\n[s]\ry=2\n\rk=v\r\n", "v");
        row("header up to the last bracket", "[s] x]\nk=v\n", " d");
        row("first duplicate key wins", "[s]\nk=1\nK=2\n", "1");
        row("only the first duplicate section", "[s]\na=1\n[t]\n[S]\nk=2\n", " d");
        row("NUL ends a value", "[s]\nk=ab" + QByteArray(1, '\0') + "cd\n", "ab");
        row("UTF-8 byte-order mark skipped", "\xEF\xBB\xBF[s]\r\nk=v\r\n", "v");
        row("every byte but NUL and line breaks", "[s]\nk=" + everyByte, everyByte);
    }

    void shouldReadAsWindowsDoes()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, expected);
        if (!file.isNull())
            writeFile(file);

        QCOMPARE(read(), expected);
    }

    // Each row writes to the section "s", passed with blanks around it.
    void shouldEditFilesAsWindowsDoes_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("after");
        const auto row = [](const char *name, const QByteArray &before, const QByteArray &key, const QByteArray &value,
                            const QByteArray &after) { QTest::newRow(name) << before << key << value << after; };
        row("missing file", nullptr, " k", "v", "[s]\r\nk=v\r\n");
        row("empty file", "", "k", "v", "[s]\r\nk=v\r\n");
        row("one-space file", " ", "k", "v", "[s]\r\nk=v\r\n");
        row("changed key keeps its place and line end", "[s]\na=1\nk=old\rb=2", "k", "new", "[s]\na=1\nk=new\rb=2");
        row("new key at the end of its section", "[s]\r\nx=1\r\n; c\r\n\r\n[b]\r\n", "k", "v",
            "[s]\r\nx=1\r\n; c\r\nk=v\r\n\r\n[b]\r\n");
        row("new key after an unended last line", "[s]\r\nx=1", "k", "v", "[s]\r\nx=1\r\nk=v\r\n");
        row("new section at the end", "[a]\r\nx=1\r\n", "k", "v", "[a]\r\nx=1\r\n[s]\r\nk=v\r\n");
        row("spellings in the file kept", "[S]\r\n K = x\r\n", "k", "y", "[S]\r\nK=y\r\n");
        row("non-ASCII case kept apart", "[s]\r\n\xC3\x84=1\r\n", "\xC3\xA4", "2", "[s]\r\n\xC3\x84=1\r\n\xC3\xA4=2\r\n");
        row("leading blanks of a value dropped", "[s]\r\nk=x\r\n", "k", " \t\x1A v w ", "[s]\r\nk=v w \r\n");
        row("empty value", "[s]\r\nk=x\r\n", "k", "", "[s]\r\nk=\r\n");
        row("null value deletes the key", "[s]\r\nK=1\r\nx=2\r\n", "k", nullptr, "[s]\r\nx=2\r\n");
        row("null key deletes the section", "[a]\r\n[S]\r\nk=1\r\n[b]\r\n", nullptr, "v", "[a]\r\n[b]\r\n");
        row("deleting creates no file", nullptr, "k", nullptr, nullptr);
        row("comment lines kept", "[s]\r\n; c\r\nk=1\r\n# c\r\n", "k", "2", "[s]\r\n; c\r\nk=2\r\n# c\r\n");
        row("line breaks in a value written as they are", "[s]\r\nk=1\r\n", "k", "a\r\nb=c", "[s]\r\nk=a\r\nb=c\r\n");
        row("byte-order mark kept", "\xEF\xBB\xBF[s]\r\nk=1\r\n", "k", "2", "\xEF\xBB\xBF[s]\r\nk=2\r\n");
        row("every byte but NUL and line breaks", "", "k", everyByte, "[s]\r\nk=" + everyByte + "\r\n");
    }

    void shouldEditFilesAsWindowsDoes()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        if (!before.isNull())
            writeFile(before);

        QVERIFY(WritePrivateProfileStringA(" s\t", orNull(key), orNull(value), path));
        QCOMPARE(QFile::exists(QFile::decodeName(path)), !after.isNull());
        QCOMPARE(fileBytes(), after);
    }

    // The settings store's seven keys in order; written again, an unchanged value, deleting what is
    // absent and a failing write leave the file alone, and a real change edits it in place.
    void shouldWriteTheSettingsKeysAndTouchTheFileOnlyForARealChange()
    {
        const char *const keys[][2] = {{"server", "pbx.example"}, {"userName", "anna"}, {"password", "c2VjcmV0"},
                                       {"port", "28888"}, {"message", "Logged in"}, {"logger", "true"}, {"changed", "false"}};
        const QByteArray text = "[UserData]\r\nserver=pbx.example\r\nuserName=anna\r\npassword=c2VjcmV0\r\nport=28888\r\n"
                                "message=Logged in\r\nlogger=true\r\nchanged=false\r\n";
        for (const auto &key : keys)
            QVERIFY(WritePrivateProfileStringA("UserData", key[0], key[1], path));
        QCOMPARE(fileBytes(), text);

        // A modification time of 1970, so that any write shows, and unusual access rights.
        const timespec epoch[2] = {};
        struct stat before, after;
        QVERIFY(::chmod(path, 0606) == 0 && ::utimensat(AT_FDCWD, path, epoch, 0) == 0 && ::stat(path, &before) == 0);
        for (const auto &key : keys)
            QVERIFY(WritePrivateProfileStringA("userdata", key[0], key[1], path));
        QVERIFY(WritePrivateProfileStringA("UserData", "absent", nullptr, path));
        QVERIFY(WritePrivateProfileStringA("absent", nullptr, nullptr, path));
        QVERIFY(!WritePrivateProfileStringA(nullptr, "server", "other", path));
        QVERIFY(!WritePrivateProfileStringA("UserData", "server", "other", QFile::encodeName(dir.filePath("missing/a.ini"))));
        QCOMPARE(QFileInfo(QFile::decodeName(path)).lastModified().toSecsSinceEpoch(), 0);

        // Replaced by a file with the same access rights, and nothing left beside it.
        QVERIFY(WritePrivateProfileStringA("UserData", "server", "other", path));
        QVERIFY(::stat(path, &after) == 0 && after.st_mode == before.st_mode);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"settings.ini"});

        // Like the read-only attribute on Windows.
        QVERIFY(::chmod(path, 0444) == 0);
        QVERIFY(!WritePrivateProfileStringA("UserData", "server", "third", path));
        QCOMPARE(fileBytes(), QByteArray(text).replace("pbx.example", "other"));
    }

    // Two programs storing their own keys and one reading, at once, a few thousand times each:
    // no key may get lost and no read may find the file empty or half written.
    void shouldKeepEveryKeyWhileProcessesWriteAndReadAtOnce()
    {
        writeFile("[UserData]\r\nserver=pbx.example\r\nuserName=anna\r\nport=7000\r\n");
        const int rounds = 2000;
        const auto start = [](auto body) {
            const pid_t pid = ::fork();
            if (pid == 0)
                ::_exit(body()); // plain C++ only in the child, and no destructors of the parent's objects
            return pid;
        };
        const auto writer = [&](const char *key) {
            return [&, key] {
                for (int round = 0; round < rounds; ++round)
                    if (!WritePrivateProfileStringA("UserData", key, std::to_string(round).c_str(), path))
                        return 1;
                return 0;
            };
        };
        const auto reader = [&] {
            const char *keys[] = {"server", "userName", "port", "message", "changed"};
            bool seen[5] = {true, true, true, false, false};
            for (int round = 0; round < rounds; ++round) {
                for (int k = 0; k < 5; ++k) {
                    char buffer[64];
                    const bool found = GetPrivateProfileStringA("UserData", keys[k], "<none>", buffer, sizeof buffer, path) > 0
                        && std::strcmp(buffer, "<none>") != 0;
                    if (seen[k] && !found)
                        return 1 + k;
                    seen[k] = seen[k] || found;
                }
            }
            return 0;
        };
        const pid_t children[] = {start(writer("message")), start(writer("changed")), start(reader)};
        for (const pid_t child : children) {
            int status = -1;
            QVERIFY(child > 0 && ::waitpid(child, &status, 0) == child);
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, qPrintable(QString::number(status)));
        }
        // The two new keys in the order their first writes came, each with its last value.
        const QByteArray last = QByteArray::number(rounds - 1);
        const QByteArray stored = fileBytes();
        QVERIFY(stored.startsWith("[UserData]\r\nserver=pbx.example\r\nuserName=anna\r\nport=7000\r\n"));
        QVERIFY(stored.contains("\r\nmessage=" + last + "\r\n") && stored.contains("\r\nchanged=" + last + "\r\n"));
        QCOMPARE(stored.count('\n'), 6);
    }

    // A write that fails half-way, as on a full disk: here a child whose files may not grow past
    // 16 KiB rewrites a 64 KiB file.
    void shouldLeaveTheOldFileWholeWhenAWriteFails()
    {
        const QByteArray before = "[UserData]\r\nserver=old\r\n" + QByteArray("; filler\r\n").repeated(6000);
        writeFile(before);
        const pid_t child = ::fork();
        if (child == 0) {
            const rlimit limit{16 * 1024, 16 * 1024};
            std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of ending the process
            ::_exit(::setrlimit(RLIMIT_FSIZE, &limit) == 0 && !WritePrivateProfileStringA("UserData", "server", "new", path) ? 0 : 1);
        }
        int status = -1;
        QVERIFY(child > 0 && ::waitpid(child, &status, 0) == child);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the write must fail and say so");
        QCOMPARE(fileBytes(), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"settings.ini"});
    }

    // Another user writes a file that everyone may write, in a folder of root's that this user may
    // not change in some way: Windows writes such a file, and so must its stand-in (in place where
    // it cannot be replaced). The file stays root's, with its rights, and nothing is left beside it.
    void shouldWriteAWritableFileWhateverItsFolderAllows_data()
    {
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("folder that may not be changed") << 0755 << false;
        QTest::newRow("folder that may be changed, not read") << 0733 << false;
        QTest::newRow("sticky folder, the file someone else's") << 01777 << false;
        QTest::newRow("link in a folder that may not be changed") << 0755 << true;
    }

    void shouldWriteAWritableFileWhateverItsFolderAllows()
    {
        QFETCH(int, folderMode);
        QFETCH(bool, throughLink);
        if (::geteuid() != 0)
            QSKIP("acting as another user needs root");
        QVERIFY(::chmod(QFile::encodeName(dir.path()), 0755) == 0);
        const QByteArray folder = QFile::encodeName(dir.filePath("root's"));
        const QByteArray file = folder + "/settings.ini";
        const QByteArray link = QFile::encodeName(dir.filePath("links/settings.ini"));
        QVERIFY(QDir(dir.path()).mkpath("root's") && QDir(dir.path()).mkpath("links"));
        QFile(QFile::decodeName(file)).remove();
        {
            QFile settings(QFile::decodeName(file));
            QVERIFY(settings.open(QIODevice::WriteOnly) && settings.write("[UserData]\r\nchanged=true\r\n") > 0);
        }
        QVERIFY(::chmod(file, 0666) == 0 && ::chmod(folder, mode_t(folderMode)) == 0);
        QFile::remove(QFile::decodeName(link));
        QVERIFY(!throughLink || ::symlink(file, link) == 0);
        const QByteArray name = throughLink ? link : file;

        QCOMPARE(inChild([&] { return WritePrivateProfileStringA("UserData", "changed", "false", name) ? 0 : errno; }, otherUser), 0);
        QCOMPARE(inChild([&] { return WritePrivateProfileStringA("UserData", "message", "Logged in", name) ? 0 : errno; }, otherUser), 0);
        QFile settings(QFile::decodeName(file));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QCOMPARE(settings.readAll(), QByteArray("[UserData]\r\nchanged=false\r\nmessage=Logged in\r\n"));
        struct stat status = {};
        QVERIFY(::stat(file, &status) == 0);
        QCOMPARE(status.st_uid, uid_t(0));
        QCOMPARE(status.st_mode & 07777, mode_t(0666));
        QVERIFY(!throughLink || QFileInfo(QFile::decodeName(link)).isSymLink());
        QVERIFY(::chmod(folder, 0755) == 0);
        QCOMPARE(QDir(QFile::decodeName(folder)).entryList(QDir::Files), QStringList{"settings.ini"});

        // A file this user may not write stays unwritten, wherever it lies.
        QVERIFY(::chmod(file, 0644) == 0 && ::chmod(folder, 0777) == 0);
        QCOMPARE(inChild([&] { return WritePrivateProfileStringA("UserData", "changed", "true", name) ? 0 : errno; }, otherUser),
                 EACCES);
        // Written in place, a write that fails half-way (here: the file may not grow past
        // 16 KiB) fails before it changes anything.
        QVERIFY(::chmod(file, 0666) == 0 && ::chmod(folder, 0755) == 0);
        const QByteArray before = "[UserData]\r\nserver=old\r\n" + QByteArray("; filler\r\n").repeated(1500);
        {
            QFile whole(QFile::decodeName(file));
            QVERIFY(whole.open(QIODevice::WriteOnly) && whole.write(before) == before.size());
        }
        const QByteArray longer(4000, 'x');
        QCOMPARE(inChild([&] {
                     const rlimit limit{16 * 1024, 16 * 1024};
                     std::signal(SIGXFSZ, SIG_IGN);
                     return ::setrlimit(RLIMIT_FSIZE, &limit) == 0
                             && !WritePrivateProfileStringA("UserData", "server", longer, name) ? 0 : 1;
                 }, otherUser),
                 0);
        settings.seek(0);
        QCOMPARE(settings.readAll(), before);
    }

    // A writer that dies before it renames its new file into place leaves that file behind, the
    // settings in it: the next write removes it, and only files of dead writers of this file.
    void shouldRemoveWhatADeadWriterLeftBehind()
    {
        const QByteArray before = "[UserData]\r\npassword=c2VjcmV0\r\n" + QByteArray("; filler\r\n").repeated(6000);
        writeFile(before);
        // The writer is killed when its new file passes 16 KiB, as a process can die at any moment.
        QCOMPARE(inChild([&] {
                     const rlimit limit{16 * 1024, 16 * 1024};
                     ::setrlimit(RLIMIT_FSIZE, &limit);
                     return WritePrivateProfileStringA("UserData", "server", "new", path) ? 0 : 1;
                 }),
                 -1);
        QDir folder(dir.path());
        const QStringList left = folder.entryList({"settings.ini.tmp-*"}, QDir::Files);
        QCOMPARE(left.size(), 1);
        QCOMPARE(fileBytes(), before);
        // Not this file's, or of a writer that runs (pid 1 always does).
        const QStringList others{"other.ini.tmp-999999-0", "settings.ini.tmp-1-0", "settings.ini.tmp-x-0"};
        for (const QString &name : others) {
            QFile other(folder.filePath(name));
            QVERIFY(other.open(QIODevice::WriteOnly));
        }

        QVERIFY(WritePrivateProfileStringA("UserData", "server", "new", path));
        QStringList expected = others + QStringList{"settings.ini"};
        expected.sort();
        QCOMPARE(folder.entryList(QDir::Files), expected);
        QVERIFY(fileBytes().contains("\r\nserver=new\r\n"));
    }

    // A link to a file that is not there yet leads to where the file is created, as opening it
    // for writing would; the link stays.
    void shouldCreateTheTargetOfADanglingLink()
    {
        const QString target = dir.filePath("target.ini");
        QVERIFY(QFile::link(target, QFile::decodeName(path)));
        QVERIFY(WritePrivateProfileStringA("UserData", "server", "pbx.example", path));
        QVERIFY(QFileInfo(QFile::decodeName(path)).isSymLink());
        QFile created(target);
        QVERIFY(created.open(QIODevice::ReadOnly));
        QCOMPARE(created.readAll(), QByteArray("[UserData]\r\nserver=pbx.example\r\n"));
        QVERIFY(WritePrivateProfileStringA("UserData", "server", "other", path));
        QVERIFY(QFileInfo(QFile::decodeName(path)).isSymLink());
        QCOMPARE(fileBytes(), QByteArray("[UserData]\r\nserver=other\r\n"));
        QFile::remove(target);
    }

    // Another writer holds the file: one that finishes, however slowly, is waited for; one that
    // is stopped (a debugger, a hung network drive) makes the write fail after a bounded wait.
    void shouldWaitForAnotherWriterOnlyABoundedTime()
    {
        writeFile("[UserData]\r\nserver=old\r\n");
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        const auto holdLock = [&](bool stop) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                const int fd = ::open(path, O_RDWR);
                const char byte = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 1 : 0;
                (void)!::write(ready[1], &byte, 1);
                if (stop)
                    ::raise(SIGSTOP);
                else
                    ::usleep(1000 * 1000);
                ::_exit(0);
            }
            char byte = 0;
            return pid > 0 && ::read(ready[0], &byte, 1) == 1 && byte == 1 ? pid : pid_t(-1);
        };
        const auto reap = [](pid_t pid) {
            int status = 0;
            return ::waitpid(pid, &status, 0) == pid;
        };

        QElapsedTimer elapsed;
        pid_t holder = holdLock(false);
        QVERIFY(holder > 0);
        elapsed.start();
        QVERIFY(WritePrivateProfileStringA("UserData", "server", "slow", path));
        QVERIFY2(elapsed.elapsed() >= 800, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY(reap(holder));

        holder = holdLock(true);
        QVERIFY(holder > 0);
        elapsed.restart();
        errno = 0;
        QVERIFY(!WritePrivateProfileStringA("UserData", "server", "stuck", path));
        QCOMPARE(errno, ETIMEDOUT);
        const qint64 waited = elapsed.elapsed();
        QVERIFY2(waited >= PrivateProfile::lockTimeoutMilliseconds && waited < PrivateProfile::lockTimeoutMilliseconds + 2000,
                 qPrintable(QString::number(waited)));
        QCOMPARE(fileBytes(), QByteArray("[UserData]\r\nserver=slow\r\n"));
        ::kill(holder, SIGKILL);
        QVERIFY(reap(holder));
        QVERIFY(WritePrivateProfileStringA("UserData", "server", "free", path));
        ::close(ready[0]);
        ::close(ready[1]);
    }

    // Binary bytes all through the file stay as they are; a section added at its end reads back.
    void shouldKeepTheBytesOfABinaryFile()
    {
        QByteArray binary(256 * 1024, '\0');
        QRandomGenerator(20260306).fillRange(reinterpret_cast<quint32 *>(binary.data()), binary.size() / 4);
        writeFile(binary);
        QVERIFY(WritePrivateProfileStringA("s", "k", "value", path));
        QCOMPARE(read(), QByteArray("value"));
        QVERIFY(fileBytes().startsWith(binary));
    }
};

QTEST_MAIN(tst_PrivateProfile)
#include "tst_privateprofile.moc"
