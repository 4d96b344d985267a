#include "CastSections.h"

#include "RecordingGenerator.h"
#include "audio/UnitAudioQuality.h"
#include "audio/UnitSectionFile.h"
#include "audio/UnitVorbisSection.h"
#include "demo/UnitDemoPart.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int CommentaryQuality = 5; // 22050 Hz mono

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string Commentary(const fs::path& workDirectory, std::int32_t seed, std::int32_t audioMs) {
    const TAudioQuality& quality = AudioQualities[CommentaryQuality];
    const std::int64_t frames = std::int64_t{quality.Rate} * audioMs / 1000;
    std::vector<std::uint8_t> pcm(static_cast<std::size_t>(frames) * 2);
    const double frequency = 300.0 + 20.0 * (seed % 10);
    for (std::int64_t i = 0; i < frames; ++i) {
        const auto sample =
            static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * frequency * i / quality.Rate));
        pcm[2 * i] = static_cast<std::uint8_t>(sample & 0xFF);
        pcm[2 * i + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
    }
    const fs::path path = workDirectory / ("audio_" + std::to_string(seed) + ".ogg");
    {
        TSectionFile file(path.string());
        TVorbisSection encoder(quality, seed + 1, file);
        encoder.Encode(pcm.data(), pcm.size());
        encoder.Finish();
    }
    return ReadFile(path);
}

} // namespace

TCastSection MakeCastSection(const fs::path& workDirectory, std::int32_t seed, std::uint32_t demoMs,
                             std::int32_t audioMs) {
    const fs::path recording = workDirectory / ("source_" + std::to_string(seed) + ".rec");
    const fs::path part = workDirectory / ("part_" + std::to_string(seed) + ".rec");
    TGeneratorOptions options;
    options.DurationMs = demoMs;
    options.InitialBlockLength = 600;
    options.Seed = static_cast<std::uint64_t>(seed) + 11;
    GenerateRecording(recording.string(), options);
    std::int64_t runningTotal = 0;
    TCastSection section;
    section.BodyOffset = static_cast<std::int32_t>(
        BuildSection(recording.string(), part.string(), true, runningTotal));
    section.Demo = ReadFile(part);
    section.Audio = Commentary(workDirectory, seed, audioMs);
    return section;
}

TCastSection MakeFakeSection(const fs::path& workDirectory, std::int32_t seed,
                             std::int32_t audioMs) {
    TCastSection section;
    section.Audio = Commentary(workDirectory, seed, audioMs);
    return section;
}
