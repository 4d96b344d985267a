#include "CastArchive.h"

#include "FileCrc.h"
#include "StoredZip.h"

#include "playback/CompletedSections.h"

#include <zlib.h>

#include <sys/stat.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::uint32_t Crc(const std::string& bytes, std::uint32_t crc = 0) {
    return static_cast<std::uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::time_t ModifiedTime(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mtime : 0;
}

std::string SectionName(const char* format, std::size_t section) {
    char name[32];
    std::snprintf(name, sizeof name, format, static_cast<int>(section));
    return name;
}

class TArchiveBuilder {
public:
    explicit TArchiveBuilder(std::time_t modified) : Zip(modified) {
        Archive.LastModified = modified;
    }

    void AddBytes(const std::string& name, const std::string& bytes) {
        Own(Zip.Entry(name, Crc(bytes), static_cast<std::uint32_t>(bytes.size())));
        Own(bytes);
    }

    void AddFile(const std::string& name, const fs::path& file, std::uint64_t offset,
                 std::uint64_t length) {
        Own(Zip.Entry(name, FileCrc(file, offset, length), static_cast<std::uint32_t>(length)));
        if (length > 0)
            Archive.Pieces.push_back({End(), length, {}, file, offset});
    }

    TCastArchive Finish() {
        const std::string directory = Zip.Finish();
        Own(directory);
        Archive.Size = End();
        // The directory holds every name, size, CRC and time, so it tells
        // the archives apart; a strong tag, as equal tags mean equal bytes.
        char tag[40];
        std::snprintf(tag, sizeof tag, "\"%08x-%llx\"", Crc(directory),
                      static_cast<unsigned long long>(Archive.Size));
        Archive.ETag = tag;
        return std::move(Archive);
    }

private:
    std::uint64_t End() const {
        return Archive.Pieces.empty() ? 0
                                      : Archive.Pieces.back().Start + Archive.Pieces.back().Length;
    }

    void Own(const std::string& bytes) {
        Archive.Pieces.push_back({End(), bytes.size(), bytes, {}, 0});
    }

    TStoredZip Zip;
    TCastArchive Archive;
};

} // namespace

TCastArchive BuildCastArchive(const TCast& cast, const TCastState& state) {
    TArchiveBuilder builder(ModifiedTime(cast.Directory / "completed"));
    // As the viewer writes it for a run from the first section.
    std::string completed = std::string(CompletedHeaderLine) + "\r\n";
    for (std::size_t n = 0; n < state.Sections.size(); ++n)
        completed += CompletedSectionLine(static_cast<std::int32_t>(n),
                                          state.Sections[n].Parts[0].BodyOffset) +
                     "\r\n";
    builder.AddBytes(CompletedFileName, completed);
    for (std::size_t n = 0; n < state.Sections.size(); ++n) {
        const auto section = static_cast<std::int32_t>(n);
        const TPartState& demo = state.Sections[n].Parts[0];
        const bool beginsRecording = n == 0 || state.Sections[n - 1].Parts[0].Size == 0;
        const std::int32_t base = DemoStreamBase(demo, beginsRecording);
        builder.AddFile(SectionName("demo_%d.rec", n), cast.PartPath(section, 0),
                        static_cast<std::uint64_t>(base),
                        static_cast<std::uint64_t>(demo.Size - base));
        builder.AddFile(SectionName("audio_%d.ogg", n), cast.PartPath(section, 1), 0,
                        static_cast<std::uint64_t>(state.Sections[n].Parts[1].Size));
    }
    return builder.Finish();
}

std::shared_ptr<const TCastArchive> TCastArchiveCache::Find(const std::shared_ptr<TCast>& cast) {
    {
        std::lock_guard guard(Lock);
        const auto known = Entries.find(cast->Name);
        if (known != Entries.end() && known->second.Cast.lock() == cast)
            return known->second.Archive;
    }
    const TCastState state = cast->State();
    if (!state.Completed)
        return nullptr;
    // Read outside the lock: other casts' downloads need not wait for this one.
    auto archive = std::make_shared<const TCastArchive>(BuildCastArchive(*cast, state));
    std::lock_guard guard(Lock);
    std::erase_if(Entries, [](const auto& entry) { return entry.second.Cast.expired(); });
    Entries[cast->Name] = {cast, archive};
    return archive;
}
