#pragma once

#include "CastStore.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

// One cast as the web page lists it, taken when the page is asked for.
struct TCastSummary {
    std::string Name;
    bool Live = true; // the filmer has not finished it
    int Sections = 0;
    // Playing time of the audio parts that have ended; unknown when one of
    // them is not Ogg Vorbis.
    std::optional<std::int64_t> LengthMs;
    std::optional<std::time_t> Started; // unknown where the file system keeps no birth time
    int Viewers = 0;
    std::string Generation;
};

// Every cast of the store: the live ones first, then the finished ones, each
// the newest first.
std::vector<TCastSummary> ListCasts(const TCastStore& store);
