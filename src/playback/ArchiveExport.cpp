#include "playback/ArchiveExport.h"

#include "playback/CompletedSections.h"
#include "playback/OfflineViewing.h"

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Section parts are compressed already (bzip2, Vorbis); deflating them again
// costs time and gains nothing.
void AddFile(zip_t* archive, const std::string& directory, const std::string& name, bool compress) {
    const std::string path = directory + name;
    zip_source_t* source = zip_source_file(archive, path.c_str(), 0, -1);
    if (!source)
        throw EArchiveError("Cannot add \"" + path + "\" to the archive: " + ZipErrorText(archive));
    const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        throw EArchiveError("Cannot add \"" + path + "\" to the archive: " + ZipErrorText(archive));
    }
    if (!compress)
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
}

std::string SectionName(const char* format, std::int32_t section) {
    char name[32];
    std::snprintf(name, sizeof name, format, section);
    return name;
}

} // namespace

void ExportCastArchive(const std::string& castDirectory, const std::string& archivePath) {
    const std::vector<TCompletedSection> sections = LoadCompletedSections(castDirectory);
    if (sections.empty())
        throw EOfflineError("Insufficient sections to begin viewing");
    const std::string partial = archivePath + ".partial";
    std::error_code ignored;
    fs::remove(partial, ignored);
    try {
        TZipArchive archive = OpenZipArchive(partial, ZIP_CREATE | ZIP_EXCL);
        AddFile(archive.get(), castDirectory, CompletedFileName, true);
        for (const TCompletedSection& entry : sections) {
            // An audio-only viewer never received the demo parts.
            const std::string demo = SectionName("demo_%d.rec", entry.Section);
            if (fs::exists(castDirectory + demo, ignored))
                AddFile(archive.get(), castDirectory, demo, false);
            AddFile(archive.get(), castDirectory, SectionName("audio_%d.ogg", entry.Section),
                    false);
        }
        // zip_close writes the archive; a failed one is still discarded.
        if (zip_close(archive.get()) != 0)
            throw EArchiveError("Cannot write the archive \"" + archivePath +
                                "\": " + ZipErrorText(archive.get()));
        archive.release();
        std::error_code ec;
        fs::rename(partial, archivePath, ec);
        if (ec)
            throw EArchiveError("Cannot write the archive \"" + archivePath +
                                "\": " + ec.message());
    } catch (...) {
        fs::remove(partial, ignored);
        throw;
    }
}
