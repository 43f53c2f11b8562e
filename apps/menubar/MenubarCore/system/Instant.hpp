#pragma once

#include <chrono>

namespace menubar {

// An instant on the system clock with microsecond precision: enough for every
// timestamp of the status file and a range far beyond any date it may hold.
using Instant = std::chrono::sys_time<std::chrono::microseconds>;

// The current instant, for the app (logic never reads the clock itself).
inline Instant currentInstant() {
    return std::chrono::time_point_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now());
}

} // namespace menubar
