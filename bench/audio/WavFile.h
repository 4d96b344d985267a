#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A 16-bit PCM WAV file read whole.
struct TWavFile {
    int32_t Rate = 0;
    int32_t Channels = 0;
    std::vector<uint8_t> Pcm; // interleaved little-endian samples
};

// Throws std::runtime_error with a readable reason for anything else.
TWavFile ReadWavFile(const std::string& path);
