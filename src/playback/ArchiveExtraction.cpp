#include "playback/ArchiveExtraction.h"

#include "playback/CompletedSections.h"
#include "playback/ExtractionDirectory.h"
#include "playback/SectionTimeTable.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t ChunkBytes = 1 << 16;

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// Archives made of a cast's folder hold its files one level down. Both
// separators count: archivers on Windows have been known to write "\".
std::string LastComponent(const std::string& name) {
    const std::size_t separator = name.find_last_of("/\\");
    return separator == std::string::npos ? name : name.substr(separator + 1);
}

// Only the spelling the assembly looks for: digits without sign or leading zero.
bool IsSectionFileName(std::string_view name, std::string_view prefix, std::string_view suffix) {
    if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) ||
        !name.ends_with(suffix))
        return false;
    const std::string_view digits =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    unsigned section = 0;
    const auto [stop, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), section);
    return error == std::errc() && stop == digits.data() + digits.size() &&
           section <= static_cast<unsigned>(LastTableSection) && digits == std::to_string(section);
}

bool IsCastFileName(const std::string& name) {
    return name == CompletedFileName || IsSectionFileName(name, "demo_", ".rec") ||
           IsSectionFileName(name, "audio_", ".ogg");
}

// A file written into the fresh work directory, which is discarded whole on
// a failure, so a half-written file needs no clean-up of its own.
class TOutputFile {
public:
    explicit TOutputFile(const fs::path& path) : FPath(path.string()) {
        FHandle = open(FPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (FHandle < 0)
            Fail("Cannot create");
    }
    ~TOutputFile() {
        if (FHandle >= 0)
            close(FHandle);
    }
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    void Write(const char* data, std::size_t count) {
        while (count > 0) {
            const ssize_t written = write(FHandle, data, count);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                Fail("Cannot write");
            data += written;
            count -= static_cast<std::size_t>(written);
        }
    }

    // Reports what the file system held back until the file was closed.
    void Close() {
        const int handle = FHandle;
        FHandle = -1;
        if (close(handle) != 0)
            Fail("Cannot write");
    }

private:
    [[noreturn]] void Fail(const char* what) const {
        throw EArchiveError(std::string(what) + " " + Quoted(FPath) + ": " + std::strerror(errno));
    }

    std::string FPath;
    int FHandle = -1;
};

struct TEntry {
    zip_uint64_t Index;
    std::string Name; // as stored
    std::string Flat;
    zip_uint64_t Size;
};

class TExtraction {
public:
    TExtraction(const std::string& archivePath, const std::string& directory,
                const TExtractOptions& options)
        : FPath(archivePath), FOptions(options),
          FArchive(OpenZipArchive(archivePath, ZIP_RDONLY | ZIP_CHECKCONS)), FDirectory(directory) {
    }

    std::vector<std::string> Run() {
        const std::vector<TEntry> entries = CheckedEntries();
        std::vector<std::string> written;
        const auto total = static_cast<std::int64_t>(entries.size());
        for (std::int64_t done = 0; done < total; ++done) {
            const TEntry& entry = entries[static_cast<std::size_t>(done)];
            Extract(entry);
            written.push_back(entry.Flat);
            if (FOptions.Progress)
                FOptions.Progress(done + 1, total);
        }
        FDirectory.Commit();
        return written;
    }

private:
    [[noreturn]] void Fail(const std::string& entry, const std::string& why) const {
        throw EArchiveError("Cannot extract " + Quoted(entry) + " from the archive " +
                            Quoted(FPath) + ": " + why);
    }

    // The entries to extract, refused as a whole when one of them states a
    // size beyond its cap or all of them more than the disk holds.
    std::vector<TEntry> CheckedEntries() const {
        std::vector<TEntry> entries;
        const zip_int64_t count = zip_get_num_entries(FArchive.get(), 0);
        zip_uint64_t totalBytes = 0;
        for (zip_int64_t i = 0; i < count; ++i) {
            const auto index = static_cast<zip_uint64_t>(i);
            zip_stat_t stat;
            zip_stat_init(&stat);
            if (zip_stat_index(FArchive.get(), index, 0, &stat) != 0 ||
                !(stat.valid & ZIP_STAT_NAME) || !(stat.valid & ZIP_STAT_SIZE))
                Fail("entry " + std::to_string(i), ZipErrorText(FArchive.get()));
            const std::string flat = LastComponent(stat.name);
            if (!IsCastFileName(flat))
                continue;
            const bool list = flat == CompletedFileName;
            const std::uint64_t cap = list ? std::min(FOptions.MaxEntryBytes, MaxCompletedFileBytes)
                                           : FOptions.MaxEntryBytes;
            if (stat.size > cap)
                Fail(stat.name, "it unpacks to " + std::to_string(stat.size) +
                                    " bytes, more than the " + std::to_string(cap) + " bytes " +
                                    (list ? "a list of completed sections" : "a cast file") +
                                    " may have");
            totalBytes += stat.size;
            entries.push_back({index, stat.name, flat, stat.size});
        }
        const fs::path& work = FDirectory.WorkDirectory();
        std::error_code unknown; // then the writes tell
        const std::uintmax_t available = fs::space(work, unknown).available;
        if (totalBytes > available)
            throw EArchiveError("The archive " + Quoted(FPath) + " unpacks to " +
                                std::to_string(totalBytes) + " bytes, but only " +
                                std::to_string(available) + " bytes are free in " +
                                Quoted(work.parent_path().string()));
        return entries;
    }

    void Extract(const TEntry& entry) const {
        const TZipFile file(zip_fopen_index(FArchive.get(), entry.Index, 0));
        if (!file)
            Fail(entry.Name, ZipErrorText(FArchive.get()));
        TOutputFile output(FDirectory.WorkDirectory() / entry.Flat);
        std::vector<char> chunk(ChunkBytes);
        zip_uint64_t unpacked = 0;
        // Read to the end: the CRC is checked only there.
        for (;;) {
            const zip_int64_t got = zip_fread(file.get(), chunk.data(), chunk.size());
            if (got < 0)
                Fail(entry.Name, zip_file_strerror(file.get()));
            if (got == 0)
                break;
            unpacked += static_cast<zip_uint64_t>(got);
            if (unpacked > entry.Size) // its stated size passed the cap
                Fail(entry.Name, "it unpacks to more than the " + std::to_string(entry.Size) +
                                     " bytes it states");
            output.Write(chunk.data(), static_cast<std::size_t>(got));
        }
        if (unpacked != entry.Size)
            Fail(entry.Name, "it unpacks to " + std::to_string(unpacked) + " bytes, not the " +
                                 std::to_string(entry.Size) + " bytes it states");
        output.Close();
    }

    std::string FPath;
    const TExtractOptions& FOptions;
    TZipArchive FArchive;
    TExtractionDirectory FDirectory;
};

} // namespace

std::vector<std::string> ExtractCastArchive(const std::string& archivePath,
                                            const std::string& directory,
                                            const TExtractOptions& options) {
    return TExtraction(archivePath, directory, options).Run();
}
