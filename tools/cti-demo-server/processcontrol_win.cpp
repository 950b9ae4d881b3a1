#include "processcontrol.h"

#include <windows.h>

// Windows has no documented call that stops a whole process; ntdll's has been there since XP.
bool setProcessSuspended(long long processId, bool suspended)
{
    using ProcessCall = LONG(NTAPI *)(HANDLE);
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto call = reinterpret_cast<ProcessCall>(
        reinterpret_cast<void *>(GetProcAddress(ntdll, suspended ? "NtSuspendProcess" : "NtResumeProcess")));
    HANDLE process = OpenProcess(PROCESS_SUSPEND_RESUME, FALSE, DWORD(processId));
    if (!call || !process)
        return false;
    const bool done = call(process) >= 0;
    CloseHandle(process);
    return done;
}
