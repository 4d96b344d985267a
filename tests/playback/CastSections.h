#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// The two parts of one section of a cast as its filmer uploads them: the
// demo part built from a generated recording (whole, with its head) and the
// commentary as one Ogg Vorbis file.
struct TCastSection {
    std::string Demo; // empty for a fake section
    std::int32_t BodyOffset = 0;
    std::string Audio;
};

// A section whose recording lasts demoMs (rounded down to the 32 ms ticks)
// and whose commentary, a tone at 22050 Hz mono, lasts audioMs. Scratch
// files go to workDirectory.
TCastSection MakeCastSection(const std::filesystem::path& workDirectory, std::int32_t seed,
                             std::uint32_t demoMs, std::int32_t audioMs);
// An audio-only section.
TCastSection MakeFakeSection(const std::filesystem::path& workDirectory, std::int32_t seed,
                             std::int32_t audioMs);
