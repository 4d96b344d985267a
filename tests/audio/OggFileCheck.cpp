#include "OggFileCheck.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {
constexpr int64_t LongestVorbisBlock = 2048;

std::string RunCommand(const std::string& command, int& status) {
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return output;
    }
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    status = ::pclose(pipe);
    return output;
}

void ReadPages(const std::string& path, TOggFileFacts& facts) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), buffer);
    ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));

    ogg_stream_state stream;
    ogg_page page;
    int packets = 0;
    bool headersDone = false;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        if (facts.PageCount++ == 0) {
            facts.Serial = ogg_page_serialno(&page);
            ogg_stream_init(&stream, facts.Serial);
        }
        const bool continued = ogg_page_continued(&page) != 0;
        if (packets == 3 && !headersDone) // the first page after the headers starts afresh
            facts.HeadersOnOwnPages = !continued && ogg_page_granulepos(&page) > 0;
        if (packets == 3)
            headersDone = true;
        ogg_stream_pagein(&stream, &page);
        ogg_packet packet;
        while (ogg_stream_packetout(&stream, &packet) == 1) {
            const bool header = packet.bytes > 0 && (packet.packet[0] & 1) == 1;
            if (packets < 3 && !header)
                facts.HeadersOnOwnPages = false;
            ++packets;
        }
        facts.EndOfStreamPages += ogg_page_eos(&page) != 0;
        facts.LastPageEndsStream = ogg_page_eos(&page) != 0;
    }
    if (facts.PageCount > 0)
        ogg_stream_clear(&stream);
    ogg_sync_clear(&sync);
}
} // namespace

TOggFileFacts ReadOggFile(const std::string& path) {
    TOggFileFacts facts;
    ReadPages(path, facts);
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) == 0) {
        facts.Frames = ov_pcm_total(&file, -1);
        const vorbis_info* info = ov_info(&file, -1);
        facts.Rate = info->rate;
        facts.Channels = info->channels;
        ov_clear(&file);
    }
    return facts;
}

void ExpectValidSection(const std::string& path, long rate, int channels, int64_t framesFed) {
    SCOPED_TRACE(path);
    const TOggFileFacts facts = ReadOggFile(path);
    EXPECT_TRUE(facts.HeadersOnOwnPages);
    EXPECT_EQ(facts.EndOfStreamPages, 1);
    EXPECT_TRUE(facts.LastPageEndsStream);
    EXPECT_EQ(facts.Rate, rate);
    EXPECT_EQ(facts.Channels, channels);
    EXPECT_NEAR(static_cast<double>(facts.Frames), static_cast<double>(framesFed),
                LongestVorbisBlock);

    int status = 0;
    const std::string info = RunCommand("ogginfo '" + path + "'", status);
    EXPECT_EQ(status, 0) << info;
    EXPECT_EQ(info.find("WARNING"), std::string::npos) << info;
    // "Playback length: 1m:02.345s"
    const std::string label = "Playback length: ";
    const auto at = info.find(label);
    int minutes = 0;
    double rest = 0;
    ASSERT_TRUE(at != std::string::npos &&
                std::sscanf(info.c_str() + at + label.size(), "%dm:%lfs", &minutes, &rest) == 2)
        << info;
    const double seconds = minutes * 60 + rest;
    EXPECT_NEAR(seconds, static_cast<double>(framesFed) / rate,
                static_cast<double>(LongestVorbisBlock) / rate + 0.001);

    const std::string wav = path + ".wav";
    const std::string decoded = RunCommand("oggdec -Q -o '" + wav + "' '" + path + "'", status);
    EXPECT_EQ(status, 0) << decoded;
    const auto wavBytes = static_cast<int64_t>(std::filesystem::file_size(wav));
    const int64_t wavFrames = (wavBytes - 44) / (2 * channels); // canonical 44-byte header
    EXPECT_NEAR(static_cast<double>(wavFrames), static_cast<double>(framesFed), LongestVorbisBlock);
    std::filesystem::remove(wav);
}

std::vector<uint8_t> TonePcm(int64_t frames, int channels, double frequency, long rate) {
    std::vector<uint8_t> pcm;
    pcm.reserve(static_cast<size_t>(frames * channels * 2));
    for (int64_t i = 0; i < frames; ++i) {
        const auto sample =
            static_cast<int16_t>(std::lround(10000 * std::sin(2 * M_PI * frequency * i / rate)));
        for (int c = 0; c < channels; ++c) {
            pcm.push_back(static_cast<uint8_t>(sample & 0xFF));
            pcm.push_back(static_cast<uint8_t>((sample >> 8) & 0xFF));
        }
    }
    return pcm;
}
