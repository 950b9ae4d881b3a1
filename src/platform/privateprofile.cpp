#include "privateprofile.h"

#include "inidocument.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FileContent
{
    std::string bytes;
    bool exists = false;
    mode_t mode = 0;
};

// False when the file exists but cannot be read; a missing file reads as empty.
bool readFile(const char *path, FileContent &file)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    struct stat status = {};
    bool ok = ::fstat(fd, &status) == 0;
    char chunk[65536];
    while (ok) {
        const ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count > 0)
            file.bytes.append(chunk, std::size_t(count));
        else if (count == 0)
            break;
        else
            ok = errno == EINTR;
    }
    ::close(fd);
    file.exists = true;
    file.mode = status.st_mode;
    return ok;
}

// In place, so that the file keeps its identity, owner and access rights.
bool writeFile(const char *path, const std::string &bytes)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (count >= 0)
            done += std::size_t(count);
        else
            ok = errno == EINTR;
    }
    return ::close(fd) == 0 && ok;
}

} // namespace

DWORD GetPrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR defaultValue, LPSTR returnedString,
                               DWORD size, LPCSTR fileName)
{
    if (!returnedString || size == 0)
        return 0;
    std::optional<std::string> value;
    FileContent file;
    // A null section or key (enumeration on Windows) is not used here and yields the default.
    if (appName && keyName && fileName && readFile(fileName, file))
        value = IniDocument(std::move(file.bytes)).value(appName, keyName);

    std::string_view result = defaultValue ? defaultValue : "";
    if (value) {
        result = *value;
    } else {
        while (!result.empty() && IniDocument::isBlank(result.back()))
            result.remove_suffix(1);
    }
    const std::size_t length = std::min<std::size_t>(result.size(), size - 1);
    std::memmove(returnedString, result.data(), length); // the default may lie in the buffer
    returnedString[length] = '\0';
    return DWORD(length);
}

BOOL WritePrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR value, LPCSTR fileName)
{
    FileContent file;
    if (!appName || !fileName || !readFile(fileName, file))
        return FALSE;
    // Like the read-only attribute on Windows, a file nobody may write stays unwritten, even for root.
    if (file.exists && (file.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return FALSE;

    IniDocument document(std::move(file.bytes));
    bool changed = false;
    if (!keyName)
        changed = document.removeSection(appName);
    else if (!value)
        changed = document.removeKey(appName, keyName);
    else
        changed = document.setValue(appName, keyName, value);
    // Nothing to change: no write, so the file's bytes and modification time stay, and no file appears.
    if (!changed)
        return TRUE;
    return writeFile(fileName, document.bytes()) ? TRUE : FALSE;
}
