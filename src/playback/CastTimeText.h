#pragma once

#include <cstdint>
#include <string>

// A time in the cast as people read it: "m:ss", "h:mm:ss" from an hour on.
// Whole seconds, cut rather than rounded; negative times read as 0:00.
std::string FormatCastTime(std::int64_t ms);
