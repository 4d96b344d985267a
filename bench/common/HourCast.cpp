#include "HourCast.h"

#include "RecordingGenerator.h"
#include "audio/UnitAudioQuality.h"
#include "audio/UnitSectionFile.h"
#include "audio/UnitVorbisSection.h"
#include "demo/UnitDemoPart.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t SectionMs = 60000;

void WriteToneSection(const std::string& path) {
    const TAudioQuality& quality = AudioQualities[0];
    const std::int64_t frames = std::int64_t{quality.Rate} * SectionMs / 1000;
    std::vector<std::uint8_t> pcm(static_cast<std::size_t>(frames) * 2);
    for (std::int64_t i = 0; i < frames; ++i) {
        const auto sample =
            static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440.0 * i / quality.Rate));
        pcm[2 * i] = static_cast<std::uint8_t>(sample & 0xFF);
        pcm[2 * i + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
    }
    TSectionFile file(path);
    TVorbisSection encoder(quality, 1, file);
    encoder.Encode(pcm.data(), pcm.size());
    encoder.Finish();
}

void BuildDemoPart(const fs::path& scratch, const std::string& target, std::int32_t section) {
    const std::string rec = scratch / "source.rec";
    TGeneratorOptions options;
    options.DurationMs = SectionMs;
    options.InitialBlockLength = 600 + static_cast<std::uint32_t>(section);
    options.Seed = static_cast<std::uint64_t>(section) + 7;
    GenerateRecording(rec, options);
    std::int64_t runningTotal = 0;
    BuildSection(rec, target, true, runningTotal);
    fs::remove(rec);
}

} // namespace

std::vector<THourCastSection> HourCastSections(const std::string& workDirectory,
                                               std::int32_t sections) {
    const fs::path directory = fs::path(workDirectory) / ("hour-cast-" + std::to_string(sections));
    // Written last, so an interrupted run starts over rather than keep half a set.
    const fs::path made = directory / "made";
    const fs::path tone = directory / "tone.ogg";
    const auto demoPath = [&](std::int32_t n) {
        return (directory / ("demo_" + std::to_string(n) + ".part")).string();
    };
    if (!fs::exists(made)) {
        fs::remove_all(directory);
        fs::create_directories(directory);
        std::printf("making %d sections of 60 s under %s ...\n", sections, directory.c_str());
        std::fflush(stdout);
        // One tone encoding serves every section: the audio's content does not matter here.
        WriteToneSection(tone);
        for (std::int32_t n = 0; n < sections; ++n)
            BuildDemoPart(directory, demoPath(n), n);
        std::ofstream(made) << sections << "\n";
    }
    std::vector<THourCastSection> result;
    for (std::int32_t n = 0; n < sections; ++n)
        result.push_back({demoPath(n), DemoPartBodyOffset(demoPath(n)), tone.string()});
    return result;
}
