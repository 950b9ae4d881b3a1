#include "grantfullaccess.h"

#include <windows.h>

#include <aclapi.h>
#include <winioctl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static int passed = 0;
static int failed = 0;
static SID everyone = {SID_REVISION, 1, SECURITY_WORLD_SID_AUTHORITY, {SECURITY_WORLD_RID}};

static void check(bool ok, const char *what)
{
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what);
    ++(ok ? passed : failed);
}

// A path's access list and what its entries give Everyone, with generic rights mapped to the
// file rights they stand for. Windows may store a grant of inheritable GENERIC_ALL as one entry
// or as two (full control of the folder itself, and an inherit-only generic entry for what is
// created in it): both give the same rights, and these sums are the same for both.
struct Access
{
    std::string list; // the raw bytes, for comparing
    ACCESS_MASK onItself = 0;   // what Everyone may do with the path itself
    ACCESS_MASK inherited = 0;  // of that, what comes from entries inherited from its parent
    ACCESS_MASK newFiles = 0;   // what files created in it inherit for Everyone
    ACCESS_MASK newFolders = 0; // what folders created in it inherit for Everyone
    int inheritedEntries = 0;   // entries from the parent, for anyone
};

static Access accessOf(const std::string &path)
{
    Access access;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &sd);
    GENERIC_MAPPING fileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE *ace = nullptr;
        GetAce(dacl, i, reinterpret_cast<void **>(&ace));
        const BYTE flags = ace->Header.AceFlags;
        access.inheritedEntries += (flags & INHERITED_ACE) != 0;
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || !EqualSid(&ace->SidStart, &everyone))
            continue;
        ACCESS_MASK mask = ace->Mask;
        MapGenericMask(&mask, &fileMapping);
        if (!(flags & INHERIT_ONLY_ACE)) {
            access.onItself |= mask;
            access.inherited |= (flags & INHERITED_ACE) ? mask : 0;
        }
        access.newFiles |= (flags & OBJECT_INHERIT_ACE) ? mask : 0;
        access.newFolders |= (flags & CONTAINER_INHERIT_ACE) ? mask : 0;
    }
    access.list.assign(reinterpret_cast<const char *>(dacl), dacl ? dacl->AclSize : 0);
    LocalFree(sd);
    return access;
}

// A junction (a mount-point reparse point) at link that leads to the folder target.
static bool makeJunction(const std::string &link, const std::string &target)
{
    if (!CreateDirectoryA(link.c_str(), nullptr))
        return false;
    HANDLE handle = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    // REPARSE_DATA_BUFFER for a mount point: the substitute name, then an empty print name.
    std::wstring substitute = L"\\??\\";
    for (char c : target)
        substitute += wchar_t(c);
    const WORD nameBytes = WORD(substitute.size() * sizeof(wchar_t));
    std::vector<char> buffer(8 + 8 + nameBytes + 2 * sizeof(wchar_t));
    auto *words = reinterpret_cast<WORD *>(buffer.data());
    *reinterpret_cast<DWORD *>(buffer.data()) = IO_REPARSE_TAG_MOUNT_POINT;
    words[2] = WORD(buffer.size() - 8); // the data after the header
    words[4] = 0;                       // substitute name offset
    words[5] = nameBytes;               // and length
    words[6] = WORD(nameBytes + sizeof(wchar_t)); // print name offset, after the terminator
    words[7] = 0;
    std::memcpy(buffer.data() + 16, substitute.data(), nameBytes);
    DWORD returned = 0;
    const BOOL made = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(), DWORD(buffer.size()), nullptr,
                                      0, &returned, nullptr);
    CloseHandle(handle);
    if (!made)
        RemoveDirectoryA(link.c_str());
    return made;
}

int main()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    // A new folder of its own; process ids repeat under Wine, so a name in use gets longer.
    std::string folder = std::string(temp) + "grantfullaccess-" + std::to_string(GetCurrentProcessId());
    while (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS)
        folder += '-';
    const std::string file = folder + "\\BrenvaleTAPIDriver.ini";

    // The file does not exist yet and the folder is untouched: a grant that fell back to the
    // folder would change its list.
    const std::string before = accessOf(folder).list;
    check(!grantEveryoneFullAccess(file.c_str()), "reports nothing for a missing path");
    check(GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES && !before.empty()
              && accessOf(folder).list == before,
          "a missing path is not created and its parent's access list is unchanged");

    check((accessOf(folder).onItself & FILE_GENERIC_WRITE) != FILE_GENERIC_WRITE,
          "before the call Everyone may not write in a new folder");
    check(!grantEveryoneFullAccess(folder.c_str()), "reports nothing for an existing folder");
    // Wine keeps no access lists on files: it turns a list into Unix mode bits and reports one
    // made from them (system, owner, Everyone; nothing inheritable or inherited), and a new file
    // gets the creator's umask. Mode bits cannot give Everyone the rights to change the list or
    // the owner; what the folder passes on is checked on Windows only.
    const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    if (wine) {
        check((accessOf(folder).onItself | WRITE_DAC | WRITE_OWNER) == FILE_ALL_ACCESS,
              "Everyone has full control of the folder, but for changing its rights and owner (under Wine)");
        std::printf("SKIP: files and folders created in it inherit full control for Everyone; the folder keeps "
                    "what it inherits; three calls change nothing (Wine keeps no access lists)\n");
    } else {
        check(accessOf(folder).onItself == FILE_ALL_ACCESS, "Everyone has full control of the folder");
        const Access granted = accessOf(folder);
        check(granted.newFiles == FILE_ALL_ACCESS && granted.newFolders == FILE_ALL_ACCESS,
              "the folder passes full control for Everyone on to files and folders created in it");
        check(granted.inheritedEntries > 0, "the folder keeps the entries it inherits from its parent");
        grantEveryoneFullAccess(folder.c_str());
        grantEveryoneFullAccess(folder.c_str());
        check(accessOf(folder).list == granted.list, "three calls leave the same access list as one");

        // Created afterwards, as the settings file and the log are.
        const std::string subfolder = folder + "\\logs";
        CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        CreateDirectoryA(subfolder.c_str(), nullptr);
        check(accessOf(file).inherited == FILE_ALL_ACCESS, "a file created afterwards inherits full control for Everyone");
        const Access inner = accessOf(subfolder);
        check(inner.inherited == FILE_ALL_ACCESS && inner.newFiles == FILE_ALL_ACCESS,
              "a folder created afterwards inherits full control for Everyone, and passes it on");
        RemoveDirectoryA(subfolder.c_str());
    }

    // The settings folder as a junction to a folder elsewhere: that folder keeps its list.
    const std::string elsewhere = folder + "-elsewhere";
    const std::string junction = folder + "-junction";
    CreateDirectoryA(elsewhere.c_str(), nullptr);
    if (makeJunction(junction, elsewhere)) {
        const std::string listBefore = accessOf(elsewhere).list;
        const char *problem = grantEveryoneFullAccess(junction.c_str());
        check(problem && std::strstr(problem, "reparse point"), "refuses a junction and says why");
        check(accessOf(elsewhere).list == listBefore, "the folder a junction leads to keeps its access list");
        RemoveDirectoryA(junction.c_str());
    } else {
        std::printf("SKIP: a junction's target keeps its access list (this system cannot make junctions: "
                    "Wine answers FSCTL_SET_REPARSE_POINT with error %lu)\n", GetLastError());
    }
    RemoveDirectoryA(elsewhere.c_str());

    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
