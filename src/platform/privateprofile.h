#pragma once

// The Windows private-profile (INI) functions. On Windows they come from <windows.h>; on other
// systems this folder provides functions with the same names, signatures and behaviour, so one
// settings file reads and writes the same everywhere.
//
// Choices of the stand-ins where Windows leaves room: a NUL byte ends a value on reading (the rest
// of its line stays in the file); a null section or key on reading gives the default instead of
// enumerating; a file without any write permission bit fails the write even for root; a write
// writes nothing when the bytes would not change. Several programs share the settings file:
// writers take turns (a lock on the file itself, across processes), so no writer loses another's
// key. Each write replaces the file whole, so no reader sees a half-written file; where the
// folder does not allow that (another user's folder, a bind-mounted file), the file is written
// in place, as Windows does, so a write succeeds wherever the file itself is writable.

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>

typedef std::uint32_t DWORD;
typedef int BOOL;
typedef char *LPSTR;
typedef const char *LPCSTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

DWORD GetPrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR defaultValue,
                               LPSTR returnedString, DWORD size, LPCSTR fileName);
BOOL WritePrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR value, LPCSTR fileName);

namespace PrivateProfile {
// How long a write waits for another writer to finish (one that is stopped in a debugger, or
// stuck on a hung network drive) before it fails with ETIMEDOUT.
constexpr int lockTimeoutMilliseconds = 3000;
} // namespace PrivateProfile
#endif
