#include "grantfullaccess.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <string>

static int passed = 0;
static int failed = 0;
static PSID everyone = nullptr;

static void check(bool ok, const char *what)
{
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what);
    ++(ok ? passed : failed);
}

// Generic rights are mapped, as Windows may store GENERIC_ALL as given or already mapped.
static ACCESS_MASK allowedToEveryone(const ACE_HEADER *ace)
{
    const auto *allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE *>(ace);
    if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE || !EqualSid(const_cast<DWORD *>(&allowed->SidStart), everyone))
        return 0;
    GENERIC_MAPPING fileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    ACCESS_MASK mask = allowed->Mask;
    MapGenericMask(&mask, &fileMapping);
    return mask;
}

template <typename Visit> static void forEachAce(const std::string &path, Visit visit)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &sd) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void *ace = nullptr;
        if (GetAce(dacl, i, &ace))
            visit(static_cast<const ACE_HEADER *>(ace));
    }
    LocalFree(sd);
}

static ACCESS_MASK everyoneMayOnItself(const std::string &path)
{
    ACCESS_MASK rights = 0;
    forEachAce(path, [&](const ACE_HEADER *ace) {
        if (!(ace->AceFlags & INHERIT_ONLY_ACE))
            rights |= allowedToEveryone(ace);
    });
    return rights;
}

static bool hasOneExplicitInheritableEntryForEveryone(const std::string &folder)
{
    int explicitEntries = 0;
    bool inheritable = false;
    const BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    forEachAce(folder, [&](const ACE_HEADER *ace) {
        if (ace->AceFlags & INHERITED_ACE)
            return;
        ++explicitEntries;
        inheritable = allowedToEveryone(ace) == FILE_ALL_ACCESS
            && (ace->AceFlags & (inherit | INHERIT_ONLY_ACE)) == inherit;
    });
    return explicitEntries == 1 && inheritable;
}

static std::string daclText(const std::string &path)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    char *text = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, &sd) == ERROR_SUCCESS)
        ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                             nullptr);
    const std::string result = text ? text : "";
    LocalFree(text);
    LocalFree(sd);
    return result;
}

int main()
{
    ConvertStringSidToSidA("S-1-1-0", &everyone);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    // A folder of its own; process ids repeat under Wine, so the first free name is taken.
    std::string base;
    unsigned n = GetCurrentProcessId();
    do
        base = std::string(temp) + "grantfullaccess-" + std::to_string(n++);
    while (!CreateDirectoryA(base.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
    const std::string folder = base + "\\settings";
    const std::string file = folder + "\\BrenvaleTAPIDriver.ini";
    const std::string missing = base + "\\missing";
    CreateDirectoryA(folder.c_str(), nullptr);
    const ACCESS_MASK readWriteDelete =
        FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE | FILE_DELETE_CHILD;

    check((everyoneMayOnItself(folder) & FILE_GENERIC_WRITE) != FILE_GENERIC_WRITE,
          "before the call Everyone may not write in a new folder");
    check(grantEveryoneFullAccess(folder.c_str()), "returns true for an existing folder");
    check((everyoneMayOnItself(folder) & readWriteDelete) == readWriteDelete,
          "Everyone may read, write, traverse and delete in the folder");

    // Wine keeps no access lists on files: it turns a list into Unix mode bits and reports one
    // made from them (system, owner, Everyone; nothing explicit or inherited), and a new file
    // gets the creator's umask. The list's exact shape and what new files inherit are checked
    // on Windows only.
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
        std::printf("SKIP: one explicit inheritable entry, also after three calls; inherited entries kept; "
                    "a new file inherits it (Wine keeps no access lists)\n");
    } else {
        check(hasOneExplicitInheritableEntryForEveryone(folder),
              "one explicit entry: Everyone, allowed, full access, object and container inherit");
        bool inheritsFromParent = false;
        forEachAce(folder, [&](const ACE_HEADER *ace) { inheritsFromParent |= (ace->AceFlags & INHERITED_ACE) != 0; });
        check(inheritsFromParent, "the folder keeps the entries it inherits from its parent");
        grantEveryoneFullAccess(folder.c_str());
        grantEveryoneFullAccess(folder.c_str());
        check(hasOneExplicitInheritableEntryForEveryone(folder), "three calls still leave one explicit entry");

        CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        bool inherited = false;
        forEachAce(file, [&](const ACE_HEADER *ace) {
            inherited |= (ace->AceFlags & INHERITED_ACE) && allowedToEveryone(ace) == FILE_ALL_ACCESS;
        });
        check(inherited, "a file created afterwards inherits full access for Everyone");
    }

    const std::string before = daclText(base);
    check(grantEveryoneFullAccess(missing.c_str()), "returns true for a missing path");
    check(GetFileAttributesA(missing.c_str()) == INVALID_FILE_ATTRIBUTES && !before.empty() && daclText(base) == before,
          "a missing path is not created and its parent's access list is unchanged");

    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());
    RemoveDirectoryA(base.c_str());
    LocalFree(everyone);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
