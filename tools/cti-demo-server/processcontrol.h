#pragma once

// Stops all threads of a process, or lets them run again; false when the system refused.
// Plain C++ with one body per system.
bool setProcessSuspended(long long processId, bool suspended);
