#include "privateprofile.h"

#include "inidocument.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FileContent
{
    std::string bytes;
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
};

// Reads from the start of an open file, and notes its rights and owner.
bool readAll(int fd, FileContent &file)
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        return false;
    char chunk[65536];
    for (off_t offset = 0;;) {
        const ssize_t count = ::pread(fd, chunk, sizeof chunk, offset);
        if (count > 0) {
            file.bytes.append(chunk, std::size_t(count));
            offset += count;
        } else if (count == 0) {
            break;
        } else if (errno != EINTR) {
            return false;
        }
    }
    file.mode = status.st_mode;
    file.owner = status.st_uid;
    file.group = status.st_gid;
    return true;
}

// False when the file exists but cannot be read; a missing file reads as empty.
bool readFile(const char *path, FileContent &file)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    const bool ok = readAll(fd, file);
    ::close(fd);
    return ok;
}

class Descriptor
{
public:
    explicit Descriptor(int fd)
        : fd(fd)
    {
    }
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd); // also releases a lock on it
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    const int fd;
};

using Clock = std::chrono::steady_clock;

// Polls rather than blocks: a writer holds the lock for milliseconds, but one that is stopped
// would otherwise hold up its caller, a GUI thread, for as long as it stays stopped.
bool lockUntil(int fd, Clock::time_point deadline)
{
    std::chrono::microseconds pause(100);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (Clock::now() >= deadline) {
            errno = ETIMEDOUT;
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(5000));
    }
    return true;
}

// Opens the file that fileName leads to for writing, as Windows would (a link is followed, a
// dangling one gets its target created), and takes the writers' lock on it. The lock is on the
// file itself, so that it needs no rights on the folder. A writer replaces the file, so a lock
// won on a file that has been replaced meanwhile keeps nobody out: it is taken again on the
// file now at that name. -1 with errno set when it fails, ENOENT for a missing file that is not
// to be created.
int openLocked(const char *fileName, bool create)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(PrivateProfile::lockTimeoutMilliseconds);
    for (;;) {
        const int fd = ::open(fileName, O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
        if (fd < 0)
            return -1;
        struct stat held = {}, current = {};
        if (!lockUntil(fd, deadline) || ::fstat(fd, &held) != 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
        if (::stat(fileName, &current) == 0 && current.st_dev == held.st_dev && current.st_ino == held.st_ino)
            return fd;
        ::close(fd);
        if (Clock::now() >= deadline) {
            errno = ETIMEDOUT;
            return -1;
        }
    }
}

bool writeAll(int fd, const std::string &bytes, off_t offset)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t count = ::pwrite(fd, bytes.data() + done, bytes.size() - done, offset + off_t(done));
        if (count > 0)
            done += std::size_t(count);
        else if (count == 0 || errno != EINTR)
            return false;
    }
    return true;
}

// The directory of path, for the temporary file.
std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

const char temporaryInfix[] = ".tmp-";

// "<name>.tmp-<pid>-<attempt>": the pid tells whether its writer still runs.
std::string temporaryName(const std::string &path, unsigned attempt)
{
    return path + temporaryInfix + std::to_string(::getpid()) + '-' + std::to_string(attempt);
}

// A writer that died between creating its temporary file and the rename left it behind, with
// the settings in it. Called under the lock, so no live writer of this file is writing one;
// the pid check spares a temporary file whose writer runs all the same. A folder that may not
// be read is left alone.
void removeStaleTemporaries(const std::string &path)
{
    const std::string folder = folderOf(path);
    const std::string prefix = path.substr(path.rfind('/') + 1) + temporaryInfix;
    DIR *const directory = ::opendir(folder.c_str());
    if (!directory)
        return;
    while (const dirent *entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        if (name.substr(0, prefix.size()) != prefix)
            continue;
        const std::string_view rest = name.substr(prefix.size());
        const std::size_t dash = rest.find('-');
        const std::string digits(rest.substr(0, dash));
        if (dash == std::string_view::npos || digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long pid = std::strtol(digits.c_str(), nullptr, 10);
        if (pid > 0 && pid != ::getpid() && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(directory), entry->d_name, 0);
    }
    ::closedir(directory);
}

enum class Replacement { Done, NotAllowed, Failed };

// Errors that say the folder does not allow a new file, or a rename onto this file (another
// user's folder, a sticky folder, a bind-mounted file), rather than that writing failed.
bool isRefusal(int error)
{
    return error == EACCES || error == EPERM || error == EBUSY || error == EXDEV;
}

// Writes a new file beside the old one and renames it into place: a reader sees the old bytes
// or the new ones, never a part, and a write that fails (a full disk, a crash) leaves the old
// file whole. The new file gets the old one's access rights and owner; where it cannot have
// them, or the folder allows no new file or rename, nothing is changed and NotAllowed says so.
Replacement replaceFile(const char *fileName, const std::string &bytes, const FileContent &old)
{
    std::string path = fileName;
    if (char *target = ::realpath(fileName, nullptr)) {
        path = target;
        std::free(target);
    }
    removeStaleTemporaries(path);
    std::string temporary;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = temporaryName(path, attempt);
        // Created as any new file in the folder is, so a default access list applies to it.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return isRefusal(errno) ? Replacement::NotAllowed : Replacement::Failed;
    }
    if (fd < 0)
        return Replacement::Failed;
    Replacement outcome = Replacement::Done;
    struct stat created = {};
    if (::fstat(fd, &created) != 0) {
        outcome = Replacement::Failed;
    } else if ((created.st_uid != old.owner || created.st_gid != old.group) && ::fchown(fd, old.owner, old.group) != 0) {
        outcome = Replacement::NotAllowed; // another user's file stays theirs
    } else if (!writeAll(fd, bytes, 0) || ::fchmod(fd, old.mode & 07777) != 0 || ::fdatasync(fd) != 0) {
        outcome = Replacement::Failed;
    }
    if (::close(fd) != 0 && outcome == Replacement::Done)
        outcome = Replacement::Failed;
    if (outcome == Replacement::Done && ::rename(temporary.c_str(), path.c_str()) != 0)
        outcome = isRefusal(errno) ? Replacement::NotAllowed : Replacement::Failed;
    if (outcome != Replacement::Done) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
    }
    return outcome;
}

// The file written where it is, as Windows does: readers may see it half written, so this is
// only for files that cannot be replaced. Room for the new bytes is taken first, so that a full
// disk or a size limit fails the write before it changes anything.
bool writeInPlace(int fd, const std::string &bytes, std::size_t oldSize)
{
    if (bytes.size() > oldSize) {
        const int error = ::posix_fallocate(fd, 0, off_t(bytes.size()));
        if (error != 0) {
            (void)!::ftruncate(fd, off_t(oldSize)); // room taken before it failed
            errno = error;
            return false;
        }
    }
    return writeAll(fd, bytes, 0) && ::ftruncate(fd, off_t(bytes.size())) == 0 && ::fdatasync(fd) == 0;
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
    // Only a value can change a missing file: a deletion creates none.
    const bool adds = keyName && value;
    const Descriptor file(openLocked(fileName, adds));
    if (file.fd < 0)
        return !adds && errno == ENOENT ? TRUE : FALSE;
    FileContent content;
    if (!readAll(file.fd, content))
        return FALSE;
    // Like the read-only attribute on Windows, a file nobody may write stays unwritten, even for root.
    if ((content.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        errno = EACCES;
        return FALSE;
    }

    const std::size_t oldSize = content.bytes.size();
    IniDocument document(std::move(content.bytes));
    bool changed = false;
    if (!keyName)
        changed = document.removeSection(appName);
    else if (!value)
        changed = document.removeKey(appName, keyName);
    else
        changed = document.setValue(appName, keyName, value);
    // Nothing to change: no write, so the file's bytes and modification time stay.
    if (!changed)
        return TRUE;
    switch (replaceFile(fileName, document.bytes(), content)) {
    case Replacement::Done:
        return TRUE;
    case Replacement::NotAllowed:
        return writeInPlace(file.fd, document.bytes(), oldSize) ? TRUE : FALSE;
    case Replacement::Failed:
        break;
    }
    return FALSE;
}
