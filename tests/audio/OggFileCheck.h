#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What an encoded section file holds, read page by page with libogg.
struct TOggFileFacts {
    int Serial = -1;
    int PageCount = 0;
    int EndOfStreamPages = 0;
    bool LastPageEndsStream = false;
    bool HeadersOnOwnPages = false; // identification, comment and codebooks before any audio page
    int64_t Frames = 0;             // from libvorbisfile
    long Rate = 0;
    int Channels = 0;
};

TOggFileFacts ReadOggFile(const std::string& path);

// Checks a section file with libvorbisfile, ogginfo and oggdec: valid, at the
// given rate and channel count, as long as the PCM fed in (within one block).
void ExpectValidSection(const std::string& path, long rate, int channels, int64_t framesFed);

// A sine tone as interleaved 16-bit PCM (all channels alike).
std::vector<uint8_t> TonePcm(int64_t frames, int channels, double frequency, long rate);
