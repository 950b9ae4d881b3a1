#include "privateprofile.h"

#include <QtTest>

#include <csignal>
#include <cstring>

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
