#include "HourCast.h"

#include "RecordingGenerator.h"
#include "ToneOgg.h"
#include "demo/UnitDemoPart.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t SectionMs = 60000;

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
        WriteOggFile(tone, SectionMs);
        for (std::int32_t n = 0; n < sections; ++n)
            BuildDemoPart(directory, demoPath(n), n);
        std::ofstream(made) << sections << "\n";
    }
    std::vector<THourCastSection> result;
    for (std::int32_t n = 0; n < sections; ++n)
        result.push_back({demoPath(n), DemoPartBodyOffset(demoPath(n)), tone.string()});
    return result;
}
