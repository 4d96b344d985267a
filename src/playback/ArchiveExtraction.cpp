#include "playback/ArchiveExtraction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t ChunkBytes = 1 << 16;

// The name an entry is extracted under, or empty when it is to be skipped.
// Both separators count: archivers on Windows have been known to write "\".
std::string FlatName(const std::string& name) {
    if (name.find('\0') != std::string::npos)
        return {};
    if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':')
        return {};
    const std::size_t separator = name.find_last_of("/\\");
    std::string last = separator == std::string::npos ? name : name.substr(separator + 1);
    if (last == "." || last == "..")
        return {};
    return last;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// A file being extracted: written under a unique temporary name in the target
// directory and removed again unless it is kept under its real name.
class TPartialFile {
public:
    explicit TPartialFile(const fs::path& directory)
        : FPath((directory / ".nelq-extract-XXXXXX").string()) {
        FHandle = mkstemp(FPath.data());
        if (FHandle < 0)
            throw EArchiveError("Cannot create a file in " + Quoted(directory.string()) + ": " +
                                std::strerror(errno));
        fchmod(FHandle, 0644);
    }
    ~TPartialFile() {
        if (FHandle >= 0)
            close(FHandle);
        if (!FKept)
            unlink(FPath.c_str());
    }
    TPartialFile(const TPartialFile&) = delete;
    TPartialFile& operator=(const TPartialFile&) = delete;

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

    // Replaces `path` (never following a link there) with the finished file.
    void KeepAs(const fs::path& path) {
        const int handle = FHandle;
        FHandle = -1;
        if (close(handle) != 0)
            Fail("Cannot write");
        if (rename(FPath.c_str(), path.c_str()) != 0)
            throw EArchiveError("Cannot replace " + Quoted(path.string()) + ": " +
                                std::strerror(errno));
        FKept = true;
    }

private:
    [[noreturn]] void Fail(const char* what) const {
        throw EArchiveError(std::string(what) + " " + Quoted(FPath) + ": " + std::strerror(errno));
    }

    std::string FPath;
    int FHandle = -1;
    bool FKept = false;
};

struct TEntry {
    zip_uint64_t Index;
    std::string Name; // as stored
    std::string Flat;
    zip_uint64_t Size;
};

class TExtraction {
public:
    TExtraction(const std::string& archivePath, const fs::path& directory,
                const TExtractOptions& options)
        : FPath(archivePath), FDirectory(directory), FOptions(options),
          FArchive(OpenZipArchive(archivePath, ZIP_RDONLY | ZIP_CHECKCONS)) {}

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
        return written;
    }

private:
    [[noreturn]] void Fail(const std::string& entry, const std::string& why) const {
        throw EArchiveError("Cannot extract " + Quoted(entry) + " from the archive " +
                            Quoted(FPath) + ": " + why);
    }

    // The entries to extract, refused as a whole when one of them states a
    // size beyond the cap or all of them more than the disk holds.
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
            TEntry entry{index, stat.name, FlatName(stat.name), stat.size};
            if (entry.Flat.empty())
                continue;
            if (entry.Size > FOptions.MaxEntryBytes)
                Fail(entry.Name,
                     "it unpacks to " + std::to_string(entry.Size) + " bytes, more than the " +
                         std::to_string(FOptions.MaxEntryBytes) + " bytes a cast file may have");
            totalBytes += entry.Size;
            entries.push_back(std::move(entry));
        }
        std::error_code unknown; // then the writes tell
        const std::uintmax_t available = fs::space(FDirectory, unknown).available;
        if (totalBytes > available)
            throw EArchiveError("The archive " + Quoted(FPath) + " unpacks to " +
                                std::to_string(totalBytes) + " bytes, but only " +
                                std::to_string(available) + " bytes are free in " +
                                Quoted(FDirectory.string()));
        return entries;
    }

    void Extract(const TEntry& entry) const {
        const TZipFile file(zip_fopen_index(FArchive.get(), entry.Index, 0));
        if (!file)
            Fail(entry.Name, ZipErrorText(FArchive.get()));
        TPartialFile partial(FDirectory);
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
            if (unpacked > entry.Size || unpacked > FOptions.MaxEntryBytes)
                Fail(entry.Name, "it unpacks to more than the " + std::to_string(entry.Size) +
                                     " bytes it states");
            partial.Write(chunk.data(), static_cast<std::size_t>(got));
        }
        if (unpacked != entry.Size)
            Fail(entry.Name, "it unpacks to " + std::to_string(unpacked) + " bytes, not the " +
                                 std::to_string(entry.Size) + " bytes it states");
        partial.KeepAs(FDirectory / entry.Flat);
    }

    std::string FPath;
    fs::path FDirectory;
    const TExtractOptions& FOptions;
    TZipArchive FArchive;
};

} // namespace

std::vector<std::string> ExtractCastArchive(const std::string& archivePath,
                                            const std::string& directory,
                                            const TExtractOptions& options) {
    std::error_code ec;
    fs::create_directories(directory, ec);
    if (ec)
        throw EArchiveError("Cannot create the directory " + Quoted(directory) + ": " +
                            ec.message());
    return TExtraction(archivePath, directory, options).Run();
}
