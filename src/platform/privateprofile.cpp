#include "privateprofile.h"

#include "inidocument.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FileContent
{
    std::string bytes;
    bool exists = false;
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
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
    file.owner = status.st_uid;
    file.group = status.st_gid;
    return ok;
}

// The directory of path, for the temporary file and the writers' lock.
std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Serialises the read-edit-replace of every writer of files in one folder, across processes.
// The folder rather than the file: the file is replaced by each write, and a lock on a
// replaced file would no longer keep anyone out.
class FolderLock
{
public:
    explicit FolderLock(const std::string &folder)
        : fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        while (fd >= 0 && ::flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd);
                fd = -1;
            }
        }
    }
    ~FolderLock()
    {
        if (fd >= 0)
            ::close(fd); // releases the lock
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool held() const { return fd >= 0; }

private:
    int fd;
};

bool writeAll(int fd, const std::string &bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (count > 0)
            done += std::size_t(count);
        else if (count == 0 || errno != EINTR)
            return false;
    }
    return true;
}

// Writes a new file beside the old one and renames it into place: a reader sees the old bytes
// or the new ones, never a part, and a write that fails (a full disk, a crash) leaves the old
// file whole. The new file keeps the old one's access rights and, where allowed, its owner.
bool replaceFile(const std::string &path, const std::string &bytes, const FileContent &old)
{
    std::string temporary;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = path + ".tmp-" + std::to_string(::getpid()) + '-' + std::to_string(attempt);
        // Created as any new file in the folder is, so a default access list applies to it.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes);
    if (ok && old.exists) {
        (void)!::fchown(fd, old.owner, old.group);
        ok = ::fchmod(fd, old.mode & 07777) == 0;
    }
    ok = ok && ::fdatasync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
    }
    return ok;
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
    if (!appName || !fileName)
        return FALSE;
    // A link is followed, as opening the file would: the file it leads to is replaced.
    std::string path = fileName;
    if (char *target = ::realpath(fileName, nullptr)) {
        path = target;
        std::free(target);
    }
    const FolderLock lock(folderOf(path));
    FileContent file;
    if (!lock.held() || !readFile(path.c_str(), file))
        return FALSE;
    // Like the read-only attribute on Windows, a file nobody may write stays unwritten, even for
    // root; and a file this user may not write is not replaced, though the folder would allow it.
    if (file.exists
        && ((file.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)) {
        errno = EACCES;
        return FALSE;
    }

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
    return replaceFile(path, document.bytes(), file) ? TRUE : FALSE;
}
