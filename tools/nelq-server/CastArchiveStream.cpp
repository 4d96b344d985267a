#include "CastArchiveStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

TCastArchiveStream::TCastArchiveStream(std::shared_ptr<TCast> cast,
                                       std::shared_ptr<const TCastArchive> archive)
    : Cast(std::move(cast)), Archive(std::move(archive)) {}

TCastArchiveStream::~TCastArchiveStream() {
    if (File >= 0)
        ::close(File);
}

bool TCastArchiveStream::OpenFile(const std::filesystem::path& path) {
    if (File >= 0 && path == OpenPath)
        return true;
    if (File >= 0)
        ::close(File);
    File = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    OpenPath = path;
    return File >= 0;
}

std::int64_t TCastArchiveStream::Read(std::uint64_t position, char* buffer, std::size_t max) {
    // An open file outlives its deletion: ask the cast, not the file system.
    if (Cast->IsDeleted())
        return -1;
    const auto& pieces = Archive->Pieces;
    auto piece = std::upper_bound(pieces.begin(), pieces.end(), position,
                                  [](std::uint64_t at, const auto& p) { return at < p.Start; });
    if (piece == pieces.begin())
        return -1;
    --piece;
    std::size_t copied = 0;
    for (; piece != pieces.end() && copied < max; ++piece) {
        const std::uint64_t skip = position + copied - piece->Start;
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(piece->Length - skip, max - copied));
        if (piece->File.empty()) {
            std::memcpy(buffer + copied, piece->Bytes.data() + skip, count);
        } else {
            if (!OpenFile(piece->File))
                return -1;
            const ssize_t got =
                ::pread(File, buffer + copied, count, static_cast<off_t>(piece->FileOffset + skip));
            if (got <= 0)
                return -1; // cut short since its CRC was taken
            copied += static_cast<std::size_t>(got);
            if (static_cast<std::size_t>(got) < count)
                return static_cast<std::int64_t>(copied); // the rest on the next call
            continue;
        }
        copied += count;
    }
    return static_cast<std::int64_t>(copied);
}
