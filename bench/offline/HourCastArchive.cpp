#include "HourCastArchive.h"

#include "RecordingGenerator.h"
#include "audio/UnitAudioQuality.h"
#include "audio/UnitSectionFile.h"
#include "audio/UnitVorbisSection.h"
#include "demo/UnitDemoPart.h"
#include "playback/ArchiveExport.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

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

void StoreDemoPart(const fs::path& scratch, const fs::path& cast, std::int32_t section) {
    const std::string rec = scratch / "source.rec";
    const std::string built = scratch / "built.part";
    TGeneratorOptions options;
    options.DurationMs = SectionMs;
    options.InitialBlockLength = 600 + static_cast<std::uint32_t>(section);
    options.Seed = static_cast<std::uint64_t>(section) + 7;
    GenerateRecording(rec, options);
    std::int64_t runningTotal = 0;
    const std::int64_t bodyOffset = BuildSection(rec, built, true, runningTotal);
    std::ifstream in(built, std::ios::binary);
    if (section > 0)
        in.seekg(bodyOffset);
    std::ofstream(cast / ("demo_" + std::to_string(section) + ".rec"), std::ios::binary)
        << in.rdbuf();
}

} // namespace

std::string HourCastArchive(const std::string& workDirectory, std::int32_t sections) {
    const fs::path work = workDirectory;
    const std::string archive = work / ("cast-" + std::to_string(sections) + ".qmx");
    if (fs::exists(archive))
        return archive;
    const fs::path cast = work / "cast";
    fs::remove_all(cast);
    fs::create_directories(cast);
    std::printf("making %s ...\n", archive.c_str());
    std::fflush(stdout);
    // One tone encoding serves every section: the audio's content does not matter here.
    const fs::path tone = work / "tone.ogg";
    WriteToneSection(tone);
    std::string completed = "audio\r\n";
    for (std::int32_t section = 0; section < sections; ++section) {
        StoreDemoPart(work, cast, section);
        fs::copy_file(tone, cast / ("audio_" + std::to_string(section) + ".ogg"),
                      fs::copy_options::overwrite_existing);
        completed += "\"" + std::to_string(section) + "\",\"1032\"\r\n";
    }
    std::ofstream(cast / "completed.dat", std::ios::binary) << completed;
    ExportCastArchive(cast.string() + "/", archive);
    fs::remove_all(cast);
    return archive;
}
