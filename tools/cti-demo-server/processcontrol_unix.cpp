#include "processcontrol.h"

#include <signal.h>

bool setProcessSuspended(long long processId, bool suspended)
{
    return kill(pid_t(processId), suspended ? SIGSTOP : SIGCONT) == 0;
}
