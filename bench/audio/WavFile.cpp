#include "WavFile.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {
uint32_t Read32(const uint8_t* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (uint32_t(at[3]) << 24);
}
uint16_t Read16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}
} // namespace

TWavFile ReadWavFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        throw std::runtime_error(path + " is not a WAV file");

    TWavFile wav;
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + at;
        const size_t size = Read32(chunk + 4);
        const size_t available = bytes.size() - at - 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || size > available)
                throw std::runtime_error(path + ": broken format chunk");
            const uint16_t tag = Read16(chunk + 8);
            wav.Channels = Read16(chunk + 10);
            wav.Rate = static_cast<int32_t>(Read32(chunk + 12));
            const uint16_t bits = Read16(chunk + 22);
            if (tag != 1 || bits != 16 || wav.Channels < 1)
                throw std::runtime_error(path + ": only 16-bit PCM is supported");
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                throw std::runtime_error(path + ": data before the format chunk");
            // Streamed WAVs may carry a placeholder size: take what is there.
            const size_t length = std::min(size, available);
            wav.Pcm.assign(chunk + 8, chunk + 8 + length);
            return wav;
        }
        at += 8 + size + (size & 1);
    }
    throw std::runtime_error(path + ": no audio data");
}
