#include "uptime.h"

#include <time.h>

std::int64_t uptimeMilliseconds()
{
    // CLOCK_MONOTONIC stands still while the system is suspended; CLOCK_BOOTTIME does not.
    timespec now = {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
