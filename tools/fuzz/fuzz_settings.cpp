// libFuzzer target: the input is the settings file as another program may have left it.

#include "configurationdata.h"
#include "privateprofile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace {

QString settingsPath;
QByteArray scratchPath;

void discard(QtMsgType, const QMessageLogContext &, const QString &) {}

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Keeps NUL bytes, unlike QString::fromUtf8(const QByteArray &).
QString fromUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

// A text value the store can keep: the reader trims blanks and one pair of outer quotes and a
// NUL ends a C string, so brackets guard the ends and NUL becomes '_'.
QString bracketed(QString text)
{
    return QLatin1Char('<') + text.replace(QChar(0), QLatin1Char('_')) + QLatin1Char('>');
}

// The store writes line breaks as blanks; everything else reads back whole.
QString readBack(QString text)
{
    return text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1A';
}

QByteArray trimmed(const QByteArray &text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// The lines of an INI text after a byte-order mark; CR, LF and CRLF end a line.
QList<QByteArray> lines(QByteArray text)
{
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    QList<QByteArray> result;
    int begin = 0;
    while (begin < text.size()) {
        int end = begin;
        while (end < text.size() && text.at(end) != '\r' && text.at(end) != '\n')
            ++end;
        result.append(text.mid(begin, end - begin));
        begin = end + (text.mid(end, 2) == "\r\n" ? 2 : 1);
    }
    return result;
}

// The non-blank lines outside the first [UserData] section: the store has no business there.
QList<QByteArray> foreignLines(const QByteArray &text)
{
    QList<QByteArray> result;
    bool inside = false;
    bool seen = false;
    for (const QByteArray &line : lines(text)) {
        const QByteArray content = trimmed(line);
        if (content.isEmpty())
            continue;
        const int close = content.lastIndexOf(']');
        if (content.startsWith('[') && close > 0) {
            inside = !seen && trimmed(content.mid(1, close - 1)).toLower() == "userdata";
            seen = seen || inside;
        }
        if (!inside)
            result.append(line);
    }
    return result;
}

void checkLinesKept(const QByteArray &before, const QByteArray &after)
{
    QHash<QByteArray, int> available;
    for (const QByteArray &line : lines(after))
        ++available[line];
    for (const QByteArray &line : foreignLines(before))
        check(--available[line] >= 0);
}

void exerciseStore(const QByteArray &file)
{
    writeFile(settingsPath, file);
    ConfigurationData data;
    data.loadData();

    const QString server = bracketed(fromUtf8(file.right(1000)));
    const QString userName = bracketed(data.getUserName() + QStringLiteral("Grüße ☎"));
    const QString password = fromUtf8(file.left(150));
    const QString message = bracketed(data.getMessage());
    const int port = data.getPort() ^ int(qHash(file));
    const bool logger = !data.getLogger();
    const bool changed = !data.isChanged();
    data.setServer(server);
    data.setUserName(userName);
    data.setPassword(password);
    data.setMessage(message);
    data.setPort(port);
    data.setLogger(logger);
    data.setChanged(changed);
    check(data.synchronize());

    ConfigurationData stored;
    stored.loadData();
    check(stored.getServer() == readBack(server));
    check(stored.getUserName() == readBack(userName));
    check(stored.getPassword() == password);
    check(stored.getMessage() == readBack(message));
    check(stored.getPort() == port);
    check(stored.getLogger() == logger);
    check(stored.isChanged() == changed);
    checkLinesKept(file, readFile(settingsPath));
}

// Reads into a buffer of exactly the given size, so that a write past it is caught.
QByteArray profileString(const char *section, const char *key, DWORD size = 255)
{
    std::vector<char> buffer(size, '\xCC');
    const DWORD length = GetPrivateProfileStringA(section, key, "dflt", buffer.data(), size, scratchPath.constData());
    check(length < size && std::strlen(buffer.data()) == length);
    return QByteArray(buffer.data(), int(length));
}

void exerciseProfileFunctions(const QByteArray &file)
{
    writeFile(QFile::decodeName(scratchPath), file);
    struct Probe
    {
        const char *section;
        const char *key;
    };
    const Probe probes[] = {{"UserData", "server"}, {"UserData", "password"}, {"s", "k"}, {" S ", "K2"}};
    QByteArray values[4];
    for (int i = 0; i < 4; ++i) {
        values[i] = profileString(probes[i].section, probes[i].key);
        check(values[i].startsWith(profileString(probes[i].section, probes[i].key, 8)));
    }
    const auto unchanged = [&](std::initializer_list<int> indexes) {
        for (int i : indexes)
            check(profileString(probes[i].section, probes[i].key) == values[i]);
    };

    QByteArray value = '<' + file.left(40) + '>';
    value.replace('\0', '_').replace('\r', '_').replace('\n', '_');
    check(WritePrivateProfileStringA("UserData", "server", value.constData(), scratchPath.constData()));
    values[0] = profileString("UserData", "server");
    check(values[0] == value);
    unchanged({1, 2, 3});

    check(WritePrivateProfileStringA("s", "k", nullptr, scratchPath.constData()));
    values[2] = profileString("s", "k");
    unchanged({0, 1, 3});

    check(WritePrivateProfileStringA("UserData", nullptr, nullptr, scratchPath.constData()));
    unchanged({2, 3});
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(discard);
    // Settings and the registry stand-in stay inside a private folder, never the machine's.
    static QTemporaryDir folder;
    qputenv("ProgramData", QFile::encodeName(folder.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, folder.filePath(QStringLiteral("registry")));
    settingsPath = ConfigurationData().settingsFilePath();
    QDir().mkpath(QFileInfo(settingsPath).absolutePath());
    scratchPath = QFile::encodeName(folder.filePath(QStringLiteral("scratch.ini")));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    const QByteArray file(reinterpret_cast<const char *>(bytes), int(size));
    exerciseStore(file);
    exerciseProfileFunctions(file);
    return 0;
}
