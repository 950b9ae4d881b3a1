#include "uptime.h"

#include <windows.h>

std::int64_t uptimeMilliseconds()
{
    // The interrupt time behind GetTickCount64 keeps counting through sleep and hibernation
    // (QueryUnbiasedInterruptTime is the one that leaves them out).
    return std::int64_t(GetTickCount64());
}
