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

// A path's access list and what its entries give Everyone.
struct Access
{
    std::string list; // the raw bytes, for comparing
    ACCESS_MASK onItself = 0;
    int explicitEntries = 0;
    int explicitFullInheritable = 0; // Everyone, full access, object and container inherit
    int inheritedEntries = 0;
    int inheritedFull = 0;

    bool everyoneMay(ACCESS_MASK rights) const { return (onItself & rights) == rights; }
    bool oneExplicitEntryForEveryone() const { return explicitEntries == 1 && explicitFullInheritable == 1; }
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
        const bool inherited = ace->Header.AceFlags & INHERITED_ACE;
        const bool forEveryone = ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&ace->SidStart, &everyone);
        // Generic rights are mapped, as Windows may store GENERIC_ALL as given or already mapped.
        ACCESS_MASK mask = forEveryone ? ace->Mask : 0;
        MapGenericMask(&mask, &fileMapping);
        access.onItself |= (ace->Header.AceFlags & INHERIT_ONLY_ACE) ? 0 : mask;
        access.explicitEntries += !inherited;
        access.inheritedEntries += inherited;
        access.inheritedFull += inherited && mask == FILE_ALL_ACCESS;
        access.explicitFullInheritable += !inherited && mask == FILE_ALL_ACCESS
            && (ace->Header.AceFlags & VALID_INHERIT_FLAGS) == (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
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

    check(!accessOf(folder).everyoneMay(FILE_GENERIC_WRITE), "before the call Everyone may not write in a new folder");
    check(!grantEveryoneFullAccess(folder.c_str()), "reports nothing for an existing folder");
    check(accessOf(folder).everyoneMay(FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE
                                       | FILE_DELETE_CHILD),
          "Everyone may read, write, traverse and delete in the folder");

    // Wine keeps no access lists on files: it turns a list into Unix mode bits and reports one
    // made from them (system, owner, Everyone; nothing explicit or inherited), and a new file
    // gets the creator's umask. The list's exact shape and what new files inherit are checked
    // on Windows only.
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
        std::printf("SKIP: one explicit inheritable entry, also after three calls; inherited entries kept; "
                    "a new file inherits it (Wine keeps no access lists)\n");
    } else {
        check(accessOf(folder).oneExplicitEntryForEveryone(),
              "one explicit entry: Everyone, allowed, full access, object and container inherit");
        check(accessOf(folder).inheritedEntries > 0, "the folder keeps the entries it inherits from its parent");
        grantEveryoneFullAccess(folder.c_str());
        grantEveryoneFullAccess(folder.c_str());
        check(accessOf(folder).oneExplicitEntryForEveryone(), "three calls still leave one explicit entry");
        CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        check(accessOf(file).inheritedFull > 0, "a file created afterwards inherits full access for Everyone");
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
