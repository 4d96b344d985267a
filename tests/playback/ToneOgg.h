#pragma once

#include <cstdint>
#include <string>

// Writes an Ogg Vorbis file of `ms` milliseconds of a 440 Hz tone with the
// client's section encoder (11025 Hz mono), as a cast's audio part.
void WriteOggFile(const std::string& path, std::int32_t ms);
