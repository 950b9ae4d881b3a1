#include "grantfullaccess.h"

#include <dirent.h>
#include <sys/acl.h>
#include <sys/stat.h>

#include <string>

namespace {

void addMode(const std::string &path, mode_t bits)
{
    struct stat info;
    if (stat(path.c_str(), &info) == 0)
        chmod(path.c_str(), (info.st_mode & 07777) | bits);
}

} // namespace

bool grantEveryoneFullAccess(const char *path)
{
    struct stat info;
    if (!path || stat(path, &info) != 0 || !S_ISDIR(info.st_mode))
        return true;

    addMode(path, S_IRWXU | S_IRWXG | S_IRWXO);

    if (DIR *folder = opendir(path)) {
        while (const dirent *entry = readdir(folder)) {
            const std::string child = std::string(path) + '/' + entry->d_name;
            struct stat childInfo;
            if (lstat(child.c_str(), &childInfo) == 0 && S_ISREG(childInfo.st_mode))
                addMode(child, S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH);
        }
        closedir(folder);
    }

    // New files inherit the default entries instead of the creating process's umask, where
    // the file system supports access lists.
    if (acl_t inherited = acl_from_text("u::rwx,g::rwx,o::rwx")) {
        acl_set_file(path, ACL_TYPE_DEFAULT, inherited);
        acl_free(inherited);
    }
    return true;
}
