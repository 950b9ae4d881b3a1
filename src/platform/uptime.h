#pragma once

#include <cstdint>

// Milliseconds since the machine started, including the time it slept or hibernated. Qt's
// timers and QElapsedTimer count on a monotonic clock that stops during a suspend on Linux, so
// only a clock like this one tells a timer tick that came late because the machine slept.
std::int64_t uptimeMilliseconds();
