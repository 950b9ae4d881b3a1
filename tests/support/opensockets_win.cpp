#include "opensockets.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <vector>

// The system's TCP table: Wine does not tell which process owns an entry, but the port is the
// test's own. A connection closed on both sides waits out its time owned by no process.
int openSocketCount(quint16 port)
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
    int sockets = 0;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCPROW &row = table->table[i];
        const bool onPort = ntohs(u_short(row.dwLocalPort)) == port || ntohs(u_short(row.dwRemotePort)) == port;
        sockets += onPort && row.dwState != MIB_TCP_STATE_TIME_WAIT && row.dwState != MIB_TCP_STATE_CLOSED ? 1 : 0;
    }
    return sockets;
}
