#include "grantfullaccess.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

void addMode(int fd, mode_t bits)
{
    struct stat info;
    if (fstat(fd, &info) == 0)
        fchmod(fd, (info.st_mode & 07777) | bits);
}

} // namespace

const char *grantEveryoneFullAccess(const char *path)
{
    struct stat info;
    if (!path || lstat(path, &info) != 0)
        return nullptr;
    // Through a link the rights of whatever it points at would change, far from the settings.
    if (S_ISLNK(info.st_mode))
        return "not changing access rights through a symbolic link";
    // Opened without following links, so a link swapped in meanwhile is not followed either.
    const int folder = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return nullptr;

    addMode(folder, S_IRWXU | S_IRWXG | S_IRWXO);

    if (DIR *entries = fdopendir(dup(folder))) {
        while (const dirent *entry = readdir(entries)) {
            const int child = openat(folder, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            struct stat childInfo;
            if (child >= 0 && fstat(child, &childInfo) == 0 && S_ISREG(childInfo.st_mode))
                addMode(child, S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH);
            if (child >= 0)
                close(child);
        }
        closedir(entries);
    }

    // New files inherit the default entries instead of the creating process's umask, where
    // the file system supports access lists. Set through the open folder, not its path.
    if (acl_t inherited = acl_from_text("u::rwx,g::rwx,o::rwx")) {
        acl_set_file(("/proc/self/fd/" + std::to_string(folder)).c_str(), ACL_TYPE_DEFAULT, inherited);
        acl_free(inherited);
    }
    close(folder);
    return nullptr;
}
