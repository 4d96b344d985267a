#pragma once

#include <chrono>
#include <cstdint>

// The system-wide monotonic clock, so that times taken in the relay process
// and in the client can be compared.
inline std::int64_t SteadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
