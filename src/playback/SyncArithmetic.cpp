#include "playback/SyncArithmetic.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

std::int64_t GamePositionMs(std::int64_t reportedMs) {
    return std::max<std::int64_t>(0, reportedMs - 500);
}

double DriftSpeed(std::int64_t differenceMs) {
    if (differenceMs >= 1)
        return std::min(2.0, static_cast<double>(differenceMs) / 5000.0 + 1.0);
    if (differenceMs < 0)
        return std::max(0.5, 1.0 - static_cast<double>(-differenceMs) / 10000.0);
    return 1.0;
}

std::int64_t SectionStartMs(const TPlaybackCast& cast, std::int32_t section) {
    return section <= cast.StartSection() ? 0 : cast.AudioEndTime(section - 1);
}

std::int64_t EstimateDemoTime(const TPlaybackCast& cast, std::int64_t tMs,
                              std::int64_t demoBaseMs) {
    const std::int32_t first = cast.StartSection();
    const std::int32_t last = cast.LastCompletedSection();
    std::int64_t audioStart = 0;
    std::int64_t demoStart = 0;
    for (std::int32_t i = first; i <= last; ++i) {
        if (i > first) {
            audioStart = cast.AudioEndTime(i - 1);
            demoStart = cast.DemoEndTime(i - 1);
        }
        const std::int64_t audioEnd = cast.AudioEndTime(i);
        if (tMs >= audioEnd)
            continue;
        const std::int64_t span = audioEnd - audioStart;
        const double share =
            span > 0 ? 1.0 - static_cast<double>(audioEnd - tMs) / static_cast<double>(span) : 0.0;
        return demoStart +
               std::llround(static_cast<double>(cast.DemoEndTime(i) - demoStart) * share) -
               demoBaseMs;
    }
    return -1;
}
