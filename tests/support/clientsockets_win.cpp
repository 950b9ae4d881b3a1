#include "clientsockets.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <vector>

// Wine's TCP table names no owning process, so connections are told by their port alone: the
// tests' servers listen on ports of their own.
int connectionsTo(quint16 port)
{
    std::vector<char> buffer(64 * 1024);
    DWORD size = DWORD(buffer.size());
    DWORD result = GetTcpTable(reinterpret_cast<MIB_TCPTABLE *>(buffer.data()), &size, FALSE);
    if (result == ERROR_INSUFFICIENT_BUFFER) {
        buffer.resize(size);
        result = GetTcpTable(reinterpret_cast<MIB_TCPTABLE *>(buffer.data()), &size, FALSE);
    }
    if (result != NO_ERROR)
        return -1;
    const auto *table = reinterpret_cast<const MIB_TCPTABLE *>(buffer.data());
    int connections = 0;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCPROW &row = table->table[i];
        const bool waiting = row.dwState == MIB_TCP_STATE_TIME_WAIT || row.dwState == MIB_TCP_STATE_CLOSED;
        connections += ntohs(u_short(row.dwRemotePort)) == port && !waiting ? 1 : 0;
    }
    return connections;
}
