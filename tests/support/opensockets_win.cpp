#include "opensockets.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <vector>

// The TCP endpoints the system lists for this process; closed connections waiting out their
// time belong to no process any more.
int openSocketCount()
{
    std::vector<char> buffer(64 * 1024);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = DWORD(buffer.size());
        const DWORD result = GetExtendedTcpTable(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
        if (result == ERROR_INSUFFICIENT_BUFFER) {
            buffer.resize(size);
            continue;
        }
        if (result != NO_ERROR)
            return -1;
        const auto *table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID *>(buffer.data());
        int sockets = 0;
        for (DWORD i = 0; i < table->dwNumEntries; ++i)
            sockets += table->table[i].dwOwningPid == GetCurrentProcessId() ? 1 : 0;
        return sockets;
    }
    return -1;
}
