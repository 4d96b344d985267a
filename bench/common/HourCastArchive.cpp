#include "HourCastArchive.h"

#include "HourCast.h"
#include "playback/ArchiveExport.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

std::string HourCastArchive(const std::string& workDirectory, std::int32_t sections) {
    const fs::path work = workDirectory;
    const std::string archive = work / ("cast-" + std::to_string(sections) + ".qmx");
    if (fs::exists(archive))
        return archive;
    const auto parts = HourCastSections(workDirectory, sections);
    const fs::path cast = work / "cast";
    fs::remove_all(cast);
    fs::create_directories(cast);
    std::printf("making %s ...\n", archive.c_str());
    std::fflush(stdout);
    std::string completed = "audio\r\n";
    for (std::int32_t n = 0; n < sections; ++n) {
        const THourCastSection& part = parts[static_cast<std::size_t>(n)];
        // The first section whole, the rest from their body on, as a viewer receives them.
        std::ifstream in(part.DemoPath, std::ios::binary);
        if (n > 0)
            in.seekg(part.BodyOffset);
        std::ofstream(cast / ("demo_" + std::to_string(n) + ".rec"), std::ios::binary)
            << in.rdbuf();
        fs::copy_file(part.AudioPath, cast / ("audio_" + std::to_string(n) + ".ogg"),
                      fs::copy_options::overwrite_existing);
        completed += "\"" + std::to_string(n) + "\",\"1032\"\r\n";
    }
    std::ofstream(cast / "completed.dat", std::ios::binary) << completed;
    ExportCastArchive(cast.string() + "/", archive);
    fs::remove_all(cast);
    return archive;
}
