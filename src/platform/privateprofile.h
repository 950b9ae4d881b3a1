#pragma once

// The Windows private-profile (INI) functions. On Windows they come from <windows.h>; on other
// systems this folder provides functions with the same names, signatures and behaviour, so one
// settings file reads and writes the same everywhere.
//
// Choices of the stand-ins where Windows leaves room: a NUL byte ends a value on reading (the rest
// of its line stays in the file); a null section or key on reading gives the default instead of
// enumerating; a file without any write permission bit fails the write even for root; a write
// writes nothing when the bytes would not change. Several programs share the settings file:
// writers take turns (a lock on the file's folder, across processes) and each write replaces the
// file whole, so no writer loses another's key and no reader sees a half-written file.

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
#endif
