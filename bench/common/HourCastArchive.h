#pragma once

#include <cstdint>
#include <string>

// Writes (once; an existing file is kept) a cast archive of `sections`
// sections of 60 s each: demo parts built from generated recordings, the
// first stored whole and the rest from their body offset on, a 440 Hz tone as
// every section's Ogg Vorbis audio, and "completed.dat". Returns its path.
std::string HourCastArchive(const std::string& workDirectory, std::int32_t sections);
