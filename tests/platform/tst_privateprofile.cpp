#include "privateprofile.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *orNull(const QByteArray &bytes)
{
    return bytes.isNull() ? nullptr : bytes.constData();
}

// The bytes of a literal with NUL bytes inside, without its terminating zero.
template <int N>
QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

} // namespace

// Null byte arrays in the tables stand for null pointers or for an absent file.
class tst_PrivateProfile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QByteArray path;

    void writeFile(const QByteArray &bytes) const
    {
        QFile file(QFile::decodeName(path));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
    }

    QByteArray fileBytes() const
    {
        QFile file(QFile::decodeName(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Reads through a buffer with guard bytes behind it, so a write past the size shows.
    QByteArray read(const char *section, const char *key, const char *defaultValue, int size = 255) const
    {
        QByteArray buffer(size + 16, '\xCC');
        const DWORD length = GetPrivateProfileStringA(section, key, defaultValue, buffer.data(), DWORD(size), path);
        if (int(length) >= size || buffer.at(int(length)) != '\0' || buffer.mid(size) != QByteArray(16, '\xCC'))
            return "<buffer misused>";
        return buffer.left(int(length));
    }

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        path = QFile::encodeName(dir.filePath(QStringLiteral("settings.ini")));
        QFile::remove(QFile::decodeName(path));
    }

    void shouldReadAsWindowsDoes_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("defaultValue");
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char *name, const QByteArray &file, const QByteArray &section, const QByteArray &key,
                            const QByteArray &defaultValue, int size, const QByteArray &expected) {
            QTest::newRow(name) << file << section << key << defaultValue << size << expected;
        };

        const QByteArray file = "[UserData]\r\nserver=host\r\n";
        row("missing file", nullptr, "UserData", "server", "dflt", 255, "dflt");
        row("missing section", file, "Other", "server", "dflt", 255, "dflt");
        row("missing key", file, "UserData", "port", "28888", 255, "28888");
        row("default loses trailing blanks", file, "UserData", "port", " d e \t ", 255, " d e");
        row("null default", file, "UserData", "port", nullptr, 255, "");
        row("names ignore ASCII case", "[uSERdATA]\r\nSERVER=host\r\n", "UserData", "server", nullptr, 255, "host");
        row("non-ASCII names keep case", "[\xC3\x84]\r\nk=v\r\n", "\xC3\xA4", "k", "d", 255, "d");
        row("blanks around names and values", " \t[ UserData ] \r\n \t server \t= \t a  b \t\r\n", " UserData\t",
            "\tserver ", nullptr, 255, "a  b");
        row("0x1A, VT and FF are blanks", "[s]\nk=\x1A\v\fv\x1A\v\f\n", "s", "k", nullptr, 255, "v");
        row("0xA0 is no blank", "[s]\nk=\xA0v\xA0\n", "s", "k", nullptr, 255, "\xA0v\xA0");
        row("double quotes", "[s]\nk= \" a b \" \n", "s", "k", nullptr, 255, " a b ");
        row("single quotes", "[s]\nk='a'\n", "s", "k", nullptr, 255, "a");
        row("only the outer pair", "[s]\nk=\"\"a\"\"\n", "s", "k", nullptr, 255, "\"a\"");
        row("unmatched quotes stay", "[s]\nk=\"a'\n", "s", "k", nullptr, 255, "\"a'");
        row("a lone quote stays", "[s]\nk=\"\n", "s", "k", nullptr, 255, "\"");
        row("inner quotes stay", "[s]\nk=a\"b\"\n", "s", "k", nullptr, 255, "a\"b\"");
        row("empty value, not the default", "[s]\nk=\n", "s", "k", "d", 255, "");
        row("empty quoted value", "[s]\nk=\"\"\n", "s", "k", "d", 255, "");
        row("line without equals is no key", "[s]\nk\n", "s", "k", "d", 255, "d");
        row("no inline comments", "[s]\nk=v ;x\n", "s", "k", nullptr, 255, "v ;x");
        row("value splits at the first equals", "[s]\nk = a=b\n", "s", "k", nullptr, 255, "a=b");
        row("first duplicate key wins", "[s]\nk=1\nK=2\n", "s", "k", nullptr, 255, "1");
        row("only the first duplicate section", "[s]\na=1\n[t]\n[S]\nk=2\n", "s", "k", "d", 255, "d");
        row("key of another section", "[a]\n[b]\nk=v\n", "a", "k", "d", 255, "d");
        row("key before any section", "k=v\n[s]\n", "s", "k", "d", 255, "d");
        row("lone CR ends a line", "[s]\ra=1\rk=v\r", "s", "k", nullptr, 255, "v");
        row("mixed line ends", "[a]\r\nx=1\n[s]\ry=2\n\rk=v\r\n", "s", "k", nullptr, 255, "v");
        row("blank lines are ignored", "\r\n  \r\n[s]\r\n\r\n\t\r\nk=v", "s", "k", nullptr, 255, "v");
        row("text after the header", "[s] ; note\nk=v\n", "s", "k", nullptr, 255, "v");
        row("header up to the last bracket", "[a]b] x\nk=v\n", "a]b", "k", nullptr, 255, "v");
        row("no header without closing bracket", "[s]\nk=1\n[t\nk=2\n", "t", "k", "d", 255, "d");
        row("no header without opening bracket", "[s]\nk=1\nx[t]\nj=2\n", "s", "j", nullptr, 255, "2");
        row("NUL ends a value", raw("[s]\nk=ab\0cd\n"), "s", "k", nullptr, 255, "ab");
        row("NUL bytes in other lines", raw("\0\0\n[s]\n\0=x\nk=v\n"), "s", "k", nullptr, 255, "v");
        row("byte-order mark skipped", "\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k", nullptr, 255, "v");
        row("254 characters", "[s]\nk=" + QByteArray(254, 'x'), "s", "k", nullptr, 255, QByteArray(254, 'x'));
        row("255 characters", "[s]\nk=" + QByteArray(255, 'x'), "s", "k", nullptr, 255, QByteArray(254, 'x'));
        row("300 characters", "[s]\nk=" + QByteArray(300, 'x'), "s", "k", nullptr, 255, QByteArray(254, 'x'));
        row("long quoted value cut", "[s]\nk=\"" + QByteArray(300, 'x') + '"', "s", "k", nullptr, 255,
            QByteArray(254, 'x'));
        row("default cut too", file, "s", "k", "default", 4, "def");
        row("size 1", file, "UserData", "server", nullptr, 1, "");
        row("null section reads the default", file, nullptr, "server", "d", 255, "d");
        row("null key reads the default", file, "UserData", nullptr, "d", 255, "d");
    }

    void shouldReadAsWindowsDoes()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, defaultValue);
        QFETCH(int, size);
        QFETCH(QByteArray, expected);
        if (!file.isNull())
            writeFile(file);

        QCOMPARE(read(orNull(section), orNull(key), orNull(defaultValue), size), expected);
        QCOMPARE(QFile::exists(QFile::decodeName(path)), !file.isNull());
    }

    void shouldSurviveNullArgumentsOnReading()
    {
        writeFile("[s]\nk=v\n");
        char buffer[4] = {'x', 'x', 'x', 'x'};
        QCOMPARE(GetPrivateProfileStringA("s", "k", "d", buffer, 0, path), DWORD(0));
        QCOMPARE(QByteArray(buffer, 4), QByteArray("xxxx"));
        QCOMPARE(GetPrivateProfileStringA("s", "k", "d", nullptr, 4, path), DWORD(0));
        QCOMPARE(GetPrivateProfileStringA("s", "k", "dflt", buffer, 4, nullptr), DWORD(3));
    }

    void shouldEditFilesAsWindowsDoes_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<bool>("result");
        const auto row = [](const char *name, const QByteArray &before, const QByteArray &section,
                            const QByteArray &key, const QByteArray &value, const QByteArray &after, bool result) {
            QTest::newRow(name) << before << section << key << value << after << result;
        };

        const QByteArray three = "[App1]\r\nkey1=string1\r\n[App2]\r\nkey2=string2\r\n[App3]\r\nkey3=string3\r\n";
        row("new file", nullptr, "UserData", "server", "h", "[UserData]\r\nserver=h\r\n", true);
        row("empty file", "", "UserData", "server", "h", "[UserData]\r\nserver=h\r\n", true);
        row("one-space file replaced", " ", "UserData", "server", "h", "[UserData]\r\nserver=h\r\n", true);
        row("changed key keeps its place", "[s]\r\na=1\r\nk=old\r\nb=2\r\n", "s", "k", "new",
            "[s]\r\na=1\r\nk=new\r\nb=2\r\n", true);
        row("changed key keeps the line ends", "[s]\na=1\nk=old\rb=2", "s", "k", "new", "[s]\na=1\nk=new\rb=2", true);
        row("existing spellings kept", "[USERDATA]\r\n  Server = old\r\n", "UserData", "server", "new",
            "[USERDATA]\r\nServer=new\r\n", true);
        row("new key at the end of its section", "[a]\r\nx=1\r\n; note\r\n\r\n[b]\r\ny=2\r\n", "a", "k", "v",
            "[a]\r\nx=1\r\n; note\r\nk=v\r\n\r\n[b]\r\ny=2\r\n", true);
        row("new key into an empty section", "[a]\n[b]\n", "a", "k", "v", "[a]\nk=v\r\n[b]\n", true);
        row("new key after an unended last line", "[a]\r\nx=1", "a", "k", "v", "[a]\r\nx=1\r\nk=v\r\n", true);
        row("new section at the end", three, "App4", "key4", "string4", three + "[App4]\r\nkey4=string4\r\n", true);
        row("new section after an unended last line", "[a]\nx=1", "b", "k", "v", "[a]\nx=1\r\n[b]\r\nk=v\r\n", true);
        row("section without closing bracket is another", "[s\r\nk=1\r\n", "s", "k", "2",
            "[s\r\nk=1\r\n[s]\r\nk=2\r\n", true);
        row("names written trimmed", nullptr, " s\t", " k ", "v", "[s]\r\nk=v\r\n", true);
        row("leading blanks of a value dropped", "[s]\r\nk=old\r\n", "s", "k", " \t\x1A v w ", "[s]\r\nk=v w \r\n",
            true);
        row("empty value", "[s]\r\nk=old\r\n", "s", "k", "", "[s]\r\nk=\r\n", true);
        row("first duplicate key written", "[s]\r\nk=1\r\nk=2\r\n", "s", "k", "3", "[s]\r\nk=3\r\nk=2\r\n", true);
        row("first duplicate section written", "[s]\r\na=1\r\n[t]\r\n[s]\r\nk=2\r\n", "s", "k", "3",
            "[s]\r\na=1\r\nk=3\r\n[t]\r\n[s]\r\nk=2\r\n", true);
        row("null value deletes the key", three, "App2", "KEY2", nullptr,
            "[App1]\r\nkey1=string1\r\n[App2]\r\n[App3]\r\nkey3=string3\r\n", true);
        row("null key deletes the section", three, "app2", nullptr, "ignored",
            "[App1]\r\nkey1=string1\r\n[App3]\r\nkey3=string3\r\n", true);
        row("deleting the last section", "[a]\nx=1\n[b]\ny=2", "b", nullptr, nullptr, "[a]\nx=1\n", true);
        row("deleting an absent key", three, "App2", "nokey", nullptr, three, true);
        row("deleting an absent section", three, "App9", nullptr, nullptr, three, true);
        row("deleting creates no file", nullptr, "s", "k", nullptr, nullptr, true);
        row("deleting a section creates no file", nullptr, "s", nullptr, nullptr, nullptr, true);
        row("value already stored", "[s]\n k = \"v\" \n", "s", "k", "\"v\"", "[s]\n k = \"v\" \n", true);
        row("comment lines kept", "; head\r\n[s]\r\n; about k\r\nk=1\r\n# other\r\n", "s", "k", "2",
            "; head\r\n[s]\r\n; about k\r\nk=2\r\n# other\r\n", true);
        row("NUL bytes kept", raw("Data \0 before\r\n[s]\r\nx=\0\r\nk=1\r\n"), "s", "k", "2",
            raw("Data \0 before\r\n[s]\r\nx=\0\r\nk=2\r\n"), true);
        row("byte-order mark kept", "\xEF\xBB\xBF[s]\r\nk=1\r\n", "s", "k", "2", "\xEF\xBB\xBF[s]\r\nk=2\r\n", true);
        row("byte-order mark of a blank file kept", "\xEF\xBB\xBF \r\n", "s", "k", "v", "\xEF\xBB\xBF[s]\r\nk=v\r\n",
            true);
        row("line breaks in a value written as they are", "[s]\r\nk=1\r\n", "s", "k", "a\r\nb=c",
            "[s]\r\nk=a\r\nb=c\r\n", true);
        row("null section fails", three, nullptr, "k", "v", three, false);
        row("null section creates no file", nullptr, nullptr, "k", "v", nullptr, false);
    }

    void shouldEditFilesAsWindowsDoes()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        QFETCH(bool, result);
        if (!before.isNull())
            writeFile(before);

        QCOMPARE(WritePrivateProfileStringA(orNull(section), orNull(key), orNull(value), path), BOOL(result));
        QCOMPARE(QFile::exists(QFile::decodeName(path)), !after.isNull());
        QCOMPARE(fileBytes(), after);
    }

    void shouldWriteTheSettingsFileAsWindowsDoes_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("the single space of a new file") << QByteArray(" ");
    }

    void shouldWriteTheSettingsFileAsWindowsDoes()
    {
        QFETCH(QByteArray, before);
        if (!before.isNull())
            writeFile(before);
        const QList<QPair<const char *, const char *>> keys = {
            {"server", "pbx.example"}, {"userName", "anna"}, {"password", "c2VjcmV0"}, {"port", "28888"},
            {"message", "Logged in"},  {"logger", "true"},   {"changed", "false"}};
        for (const auto &key : keys)
            QVERIFY(WritePrivateProfileStringA("UserData", key.first, key.second, path));

        QCOMPARE(fileBytes(), QByteArray("[UserData]\r\nserver=pbx.example\r\nuserName=anna\r\npassword=c2VjcmV0\r\n"
                                         "port=28888\r\nmessage=Logged in\r\nlogger=true\r\nchanged=false\r\n"));
        for (const auto &key : keys)
            QCOMPARE(read("UserData", key.first, "d"), QByteArray(key.second));
    }

    void shouldRoundTripEveryByteButLineBreaks()
    {
        QByteArray value = "<";
        for (int byte = 0x01; byte <= 0xFF; ++byte) {
            if (byte != '\r' && byte != '\n')
                value += char(byte);
        }
        value += '>';
        QVERIFY(WritePrivateProfileStringA("s", "k", value, path));
        QCOMPARE(fileBytes(), "[s]\r\nk=" + value + "\r\n");
        QCOMPARE(read("s", "k", "", 512), value);

        const QByteArray utf8 = QStringLiteral("Grüße ☎ \"Ünïcode\"").toUtf8();
        QVERIFY(WritePrivateProfileStringA("s", "k", utf8, path));
        QCOMPARE(read("s", "k", ""), utf8);
    }

    void shouldLeaveTheFileAloneWhenNothingChanges()
    {
        writeFile("[s]\r\nk=v\r\n");
        QFile file(QFile::decodeName(path));
        const QDateTime old = QDateTime::currentDateTimeUtc().addDays(-3);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
        file.close();

        QVERIFY(WritePrivateProfileStringA("s", "k", "v", path));
        QVERIFY(WritePrivateProfileStringA("S", "nokey", nullptr, path));
        QVERIFY(WritePrivateProfileStringA("nosection", nullptr, nullptr, path));
        QCOMPARE(QFileInfo(file).lastModified().toSecsSinceEpoch(), old.toSecsSinceEpoch());
        QCOMPARE(fileBytes(), QByteArray("[s]\r\nk=v\r\n"));
    }

    void shouldEditTheFileInPlace()
    {
        writeFile("[s]\r\nk=1\r\n");
        QVERIFY(::chmod(path, 0640) == 0);
        struct stat before = {};
        QVERIFY(::stat(path, &before) == 0);

        QVERIFY(WritePrivateProfileStringA("s", "k", "2", path));
        struct stat after = {};
        QVERIFY(::stat(path, &after) == 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(fileBytes(), QByteArray("[s]\r\nk=2\r\n"));
    }

    void shouldFailWhereWindowsFails()
    {
        const QByteArray missingFolder = QFile::encodeName(dir.filePath(QStringLiteral("missing/settings.ini")));
        QVERIFY(!WritePrivateProfileStringA("s", "k", "v", missingFolder));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing"))));
        QVERIFY(!WritePrivateProfileStringA("s", "k", "v", nullptr));
        QVERIFY(!WritePrivateProfileStringA("s", "k", "v", ""));

        const QByteArray folder = QFile::encodeName(dir.path());
        QVERIFY(!WritePrivateProfileStringA("s", "k", "v", folder));
        char buffer[8] = {};
        QCOMPARE(GetPrivateProfileStringA("s", "k", "d", buffer, sizeof buffer, folder), DWORD(1));

        writeFile("[s]\r\nk=1\r\n");
        QVERIFY(::chmod(path, 0444) == 0);
        QVERIFY(!WritePrivateProfileStringA("s", "k", "2", path));
        QCOMPARE(fileBytes(), QByteArray("[s]\r\nk=1\r\n"));
        QCOMPARE(read("s", "k", "d"), QByteArray("1"));
        QVERIFY(::chmod(path, 0644) == 0);
    }

    void shouldNotWriteAFileItCannotRead()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        writeFile("[s]\r\nk=1\r\n");
        QVERIFY(::chmod(path, 0200) == 0);
        QVERIFY(!WritePrivateProfileStringA("s", "k", "2", path));
        QCOMPARE(read("s", "k", "d"), QByteArray("d"));
        QVERIFY(::chmod(path, 0644) == 0);
        QCOMPARE(fileBytes(), QByteArray("[s]\r\nk=1\r\n"));
    }

    void shouldSurviveAnyFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("byte-order mark only") << QByteArray("\xEF\xBB\xBF");
        QRandomGenerator random(20260306);
        QByteArray binary(256 * 1024, '\0');
        for (char &byte : binary)
            byte = char(random.bounded(256));
        QTest::newRow("random bytes") << binary;
        QByteArray large;
        for (int i = 0; large.size() < 4 * 1024 * 1024; ++i)
            large += "[section" + QByteArray::number(i) + "]\r\nkey=value " + QByteArray::number(i) + "\r\n";
        QTest::newRow("several megabytes") << large;
    }

    void shouldSurviveAnyFile()
    {
        QFETCH(QByteArray, file);
        writeFile(file);

        QCOMPARE(read("robust", "key", "d", 8), QByteArray("d"));
        QVERIFY(WritePrivateProfileStringA("robust", "key", "value", path));
        QCOMPARE(read("robust", "key", "d"), QByteArray("value"));
        QVERIFY(fileBytes().startsWith(file));
        QVERIFY(WritePrivateProfileStringA("robust", nullptr, nullptr, path));
        QCOMPARE(read("robust", "key", "d"), QByteArray("d"));
    }
};

QTEST_MAIN(tst_PrivateProfile)
#include "tst_privateprofile.moc"
