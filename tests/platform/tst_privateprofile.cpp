#include "privateprofile.h"

#include <QtTest>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
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

// A child process that runs body, as the user uid when one is given.
template<typename Body>
static pid_t startChild(Body body, uid_t uid = 0)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (uid != 0 && (::setgid(uid) != 0 || ::setuid(uid) != 0))
            ::_exit(100);
        ::_exit(body()); // plain C++ only in the child, and no destructors of the parent's objects
    }
    return pid;
}

// A child's exit status, or -1 when it did not exit (it was killed).
static int exitStatus(pid_t pid)
{
    int status = -1;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes value to the key "server" in a child whose files may not grow past 16 KiB, as on a full
// disk: the write fails, or the child dies half-way (of SIGXFSZ), as a process can at any moment.
static int writeWithSizeLimit(const QByteArray &file, const QByteArray &value, bool dies, uid_t uid = 0)
{
    return exitStatus(startChild(
        [&] {
            const rlimit limit{16 * 1024, 16 * 1024};
            if (!dies)
                std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
            return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 && !WritePrivateProfileStringA("UserData", "server", value, file);
        },
        uid));
}

// A null content stands for an absent file.
static void writeFile(const QByteArray &name, const QByteArray &bytes)
{
    QFile file(QFile::decodeName(name));
    QVERIFY(bytes.isNull() || (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()));
}

static QByteArray bytesOf(const QByteArray &name)
{
    QFile file(QFile::decodeName(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Another user of the machine, who owns nothing of what the tests create.
static constexpr uid_t otherUser = 1001;

class tst_PrivateProfile : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("settings.ini"));

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
    // Each test in an empty folder.
    void init()
    {
        QDir folder(dir.path());
        QVERIFY(folder.removeRecursively() && folder.mkpath("."));
    }

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
        writeFile(path, file);
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
        QByteArray binary(256 * 1024, '\0'); // random bytes, NULs and line breaks among them
        QRandomGenerator(20260306).fillRange(reinterpret_cast<quint32 *>(binary.data()), binary.size() / 4);
        row("binary file kept", binary + "\r\n", "k", "v", binary + "\r\n[s]\r\nk=v\r\n");
    }

    void shouldEditFilesAsWindowsDoes()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        writeFile(path, before);
        QVERIFY(WritePrivateProfileStringA(" s\t", orNull(key), orNull(value), path));
        QCOMPARE(QFile::exists(QFile::decodeName(path)), !after.isNull());
        QCOMPARE(bytesOf(path), after);
    }

    // Through a link to a file that is not there yet, as opening it for writing would, the target
    // is created. Written again, an unchanged value, deleting what is absent and a failing write
    // leave the file alone; a real change replaces it, the link staying, with a file of the same
    // access rights, and nothing is left beside it.
    void shouldCreateALinksTargetAndTouchTheFileOnlyForARealChange()
    {
        const QByteArray target = QFile::encodeName(dir.filePath("target.ini"));
        QVERIFY(::symlink(target, path) == 0);
        const char *const keys[][2] = {{"server", "pbx.example"}, {"message", "Logged in"}};
        const QByteArray text = "[UserData]\r\nserver=pbx.example\r\nmessage=Logged in\r\n";
        for (const auto &key : keys)
            QVERIFY(WritePrivateProfileStringA("UserData", key[0], key[1], path));
        QCOMPARE(bytesOf(target), text);

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

        QVERIFY(WritePrivateProfileStringA("UserData", "server", "other", path));
        QVERIFY(::stat(path, &after) == 0 && after.st_mode == before.st_mode && QFileInfo(QFile::decodeName(path)).isSymLink());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"settings.ini", "target.ini"}));

        // Like the read-only attribute on Windows.
        QVERIFY(::chmod(path, 0444) == 0);
        QVERIFY(!WritePrivateProfileStringA("UserData", "server", "third", path));
        QCOMPARE(bytesOf(target), QByteArray(text).replace("pbx.example", "other"));
    }

    // Two programs storing their own keys and one reading, at once, a few thousand times each:
    // no key may get lost and no read may find the file empty or half written.
    void shouldKeepEveryKeyWhileProcessesWriteAndReadAtOnce()
    {
        writeFile(path, "[UserData]\r\nserver=pbx.example\r\nuserName=anna\r\nport=7000\r\n");
        const int rounds = 2000;
        const auto write = [&](const char *key) {
            for (int round = 0; round < rounds; ++round)
                if (!WritePrivateProfileStringA("UserData", key, std::to_string(round).c_str(), path))
                    return 1;
            return 0;
        };
        // No value is empty: a read of length 0 finds the key missing.
        const auto reader = [&] {
            const char *keys[] = {"server", "userName", "port", "message", "changed"};
            bool seen[5] = {true, true, true, false, false};
            for (int read = 0; read < rounds * 5; ++read) {
                char buffer[64];
                const bool found = GetPrivateProfileStringA("UserData", keys[read % 5], "", buffer, sizeof buffer, path) > 0;
                if (seen[read % 5] && !found)
                    return 1 + read % 5;
                seen[read % 5] = seen[read % 5] || found;
            }
            return 0;
        };
        for (const pid_t child : {startChild([&] { return write("message"); }), startChild([&] { return write("changed"); }),
                                  startChild(reader)})
            QCOMPARE(exitStatus(child), 0);
        // The two new keys in the order their first writes came, each with its last value.
        const QByteArray last = QByteArray::number(rounds - 1);
        const QByteArray stored = bytesOf(path);
        QVERIFY(stored.startsWith("[UserData]\r\nserver=pbx.example\r\nuserName=anna\r\nport=7000\r\n"));
        QVERIFY(stored.contains("\r\nmessage=" + last + "\r\n") && stored.contains("\r\nchanged=" + last + "\r\n"));
        QCOMPARE(stored.count('\n'), 6);
    }

    // Another user writes a file that everyone may write, in a folder of root's that this user may
    // not change in some way: Windows writes such a file, and so must its stand-in (in place where
    // it cannot be replaced, and whole or not at all). The file stays root's, with its rights, and
    // nothing is left beside it. A file this user may not write stays unwritten, wherever it lies.
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
        const QByteArray folder = QFile::encodeName(dir.filePath("root's")), file = folder + "/settings.ini";
        const QByteArray link = QFile::encodeName(dir.filePath("link.ini")), name = throughLink ? link : file;
        QVERIFY(QDir(dir.path()).mkdir("root's"));
        writeFile(file, "[UserData]\r\nchanged=true\r\n");
        // The temporary folder is root's alone: the other user needs to pass through it.
        QVERIFY(::chmod(QFile::encodeName(dir.path()), 0755) == 0 && ::chmod(file, 0666) == 0 && ::chmod(folder, mode_t(folderMode)) == 0);
        QVERIFY(!throughLink || ::symlink(file, link) == 0);
        const auto write = [&](const char *key, const char *value) {
            return exitStatus(startChild([&] { return WritePrivateProfileStringA("UserData", key, value, name) ? 0 : errno; }, otherUser));
        };

        QCOMPARE(write("changed", "false"), 0);
        QCOMPARE(write("message", "Logged in"), 0);
        QCOMPARE(writeWithSizeLimit(name, QByteArray(20000, 'x'), false, otherUser), 1);
        QCOMPARE(bytesOf(file), QByteArray("[UserData]\r\nchanged=false\r\nmessage=Logged in\r\n"));
        struct stat status = {};
        QVERIFY(::stat(file, &status) == 0 && status.st_uid == 0 && (status.st_mode & 07777) == 0666);
        QVERIFY(!throughLink || QFileInfo(QFile::decodeName(link)).isSymLink());
        QVERIFY(::chmod(folder, 0755) == 0);
        QCOMPARE(QDir(QFile::decodeName(folder)).entryList(QDir::Files), QStringList{"settings.ini"});

        QVERIFY(::chmod(file, 0644) == 0);
        QCOMPARE(write("changed", "true"), EACCES);
    }

    // A write that fails half-way leaves the file whole, and nothing beside it. A writer that dies
    // before it renames its new file into place leaves that file behind, the settings in it: the
    // next write removes it, and only files of dead writers of this file.
    void shouldLeaveTheFileWholeAndRemoveWhatADeadWriterLeftBehind()
    {
        const QByteArray before = "[UserData]\r\npassword=c2VjcmV0\r\n" + QByteArray("; filler\r\n").repeated(6000);
        writeFile(path, before);
        QDir folder(dir.path());
        QCOMPARE(writeWithSizeLimit(path, "new", false), 1);
        QCOMPARE(folder.entryList(QDir::Files), QStringList{"settings.ini"});
        QCOMPARE(writeWithSizeLimit(path, "new", true), -1);
        QCOMPARE(folder.entryList({"settings.ini.tmp-*"}, QDir::Files).size(), 1);
        QCOMPARE(bytesOf(path), before);
        // Not this file's, or of a writer that runs (pid 1 always does).
        QStringList expected{"other.ini.tmp-999999-0", "settings.ini", "settings.ini.tmp-1-0", "settings.ini.tmp-x-0"};
        for (const QString &name : expected)
            QVERIFY(QFile(folder.filePath(name)).open(QIODevice::Append));

        QVERIFY(WritePrivateProfileStringA("UserData", "server", "new", path));
        QCOMPARE(folder.entryList(QDir::Files), expected);
        QVERIFY(bytesOf(path).contains("\r\nserver=new\r\n"));
    }
};

QTEST_MAIN(tst_PrivateProfile)
#include "tst_privateprofile.moc"
