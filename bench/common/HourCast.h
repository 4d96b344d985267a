#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One section of the benchmarks' one-hour cast, as a filmer sends it.
struct THourCastSection {
    std::string DemoPath; // the whole demo part, head included
    std::int64_t BodyOffset = 0;
    std::string AudioPath; // Ogg Vorbis
};

// Writes (once; a finished set is kept) `sections` sections of 60 s each
// under `workDirectory`: demo parts built as start points from generated
// recordings, and a 440 Hz tone as every section's audio. Returns them in
// order.
std::vector<THourCastSection> HourCastSections(const std::string& workDirectory,
                                               std::int32_t sections);
