#include "grantfullaccess.h"

#include <windows.h>

#include <aclapi.h>

const char *grantEveryoneFullAccess(const char *path)
{
    // Through a junction or a symbolic link the rights of whatever it points at would change.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return "not changing access rights through a reparse point";

    PSID everyone = nullptr;
    PACL acl = nullptr;
    const char *problem = nullptr;
    try {
        SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
        AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);

        EXPLICIT_ACCESS_A access = {};
        access.grfAccessPermissions = GENERIC_ALL;
        access.grfAccessMode = SET_ACCESS;
        access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        access.Trustee.pMultipleTrustee = nullptr;
        access.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        access.Trustee.ptstrName = static_cast<LPSTR>(everyone);

        SetEntriesInAclA(1, &access, nullptr, &acl);
        // Replaces the folder's explicit entries; inheritance from the parent stays as it was.
        SetNamedSecurityInfoA(const_cast<LPSTR>(path), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, acl, nullptr);
    } catch (...) {
        problem = "exception thrown";
    }
    if (everyone)
        FreeSid(everyone);
    if (acl)
        LocalFree(acl);
    return problem;
}
