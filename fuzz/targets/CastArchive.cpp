#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "playback/ArchiveExtraction.h"

#include <filesystem>
#include <regex>
#include <stdexcept>

namespace fs = std::filesystem;

// A ".zip" or ".qmx" archive from anyone, extracted as offline viewing
// extracts it: only a cast's own names, nothing outside the directory, no
// file over the cap, and after a failure the earlier content untouched.
void FuzzCastArchive(const std::uint8_t* data, std::size_t size) {
    TScratchDir scratch;
    const std::string archive = scratch / "cast.qmx";
    WriteFile(archive, AsText(data, size));
    const fs::path active = scratch.Path() / "streams" / "ACTIVE";
    fs::create_directories(active);
    WriteFile(active / "completed.dat", "earlier");

    TExtractOptions options;
    options.MaxEntryBytes = 1 << 20;
    std::vector<std::string> written;
    try {
        written = ExtractCastArchive(archive, active.string(), options);
    } catch (const std::runtime_error&) {
        FuzzCheck(ReadFile(active / "completed.dat") == "earlier",
                  "a failed extraction changed the earlier content");
    }
    CheckWrittenOnlyInside(scratch.Path(), {"cast.qmx", "streams/ACTIVE"});

    static const std::regex castName(R"(completed\.dat|(demo|audio)_(0|[1-9][0-9]{0,3})\.(rec|ogg))");
    for (const std::string& entry : EntriesUnder(active)) {
        FuzzCheck(std::regex_match(entry, castName), "extracted a name no cast holds: " + entry);
        FuzzCheck(fs::file_size(active / entry) <= options.MaxEntryBytes, entry + " is over the cap");
    }
    for (const std::string& name : written)
        FuzzCheck(fs::exists(active / name), "reported " + name + " but it is not there");
}
