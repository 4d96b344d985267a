#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Synthetic recordings of the game's layout for tests and benchmarks: a 22-byte
// opaque prefix, DurationMs, an initial block, and a zlib body of packet blocks.
// The time ticks cover DurationMs rounded down to 32 ms; payload blocks use
// both length rules.

struct TGeneratorOptions {
    std::uint32_t DurationMs = 0;
    std::uint32_t InitialBlockLength = 1024;
    std::uint64_t Seed = 1;
    bool Cut = false;                    // body cut inside a deflate block, no end marker
    std::optional<std::string> InfoText; // written to "<path>.log"; '\n' or "\\n" separate lines
};

// A packet stream whose ticks add up to durationMs (rounded down to 32 ms).
std::vector<std::uint8_t> GeneratePacketStream(std::uint32_t durationMs, std::uint64_t seed);

// The recording's bytes: the head (30-byte header and initial block) and the
// zlib body (cut when asked), for writers that lay them down over time.
struct TGeneratedRecording {
    std::vector<std::uint8_t> Head;
    std::vector<std::uint8_t> Body;
};
TGeneratedRecording GenerateRecordingBytes(const TGeneratorOptions& options);

// Writes the info file "<recordingPath>.log"; '\n' or "\\n" in `text`
// separate lines, which end in CR LF as the game writes them. The file
// appears under its name only once it is complete.
void WriteInfoFile(const std::string& recordingPath, const std::string& text);

// Writes the recording (and its info file when asked) to `path`.
void GenerateRecording(const std::string& path, const TGeneratorOptions& options);
