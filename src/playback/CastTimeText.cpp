#include "playback/CastTimeText.h"

#include <algorithm>
#include <cstdio>

std::string FormatCastTime(std::int64_t ms) {
    const long long seconds = std::max<std::int64_t>(ms, 0) / 1000;
    const long long hours = seconds / 3600;
    char text[32];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", hours, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}
