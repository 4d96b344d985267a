#pragma once

#include "CastArchive.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

// Reads one download of a cast's archive piece by piece, from the stored
// parts as it goes: only the part file being read is open. Reads take no
// lock a filmer or viewer waits for.
class TCastArchiveStream {
public:
    TCastArchiveStream(std::shared_ptr<TCast> cast, std::shared_ptr<const TCastArchive> archive);
    ~TCastArchiveStream();
    TCastArchiveStream(const TCastArchiveStream&) = delete;
    TCastArchiveStream& operator=(const TCastArchiveStream&) = delete;

    // Copies up to `max` bytes from `position` (below the archive's size);
    // returns how many, or -1 once the cast was deleted or a part can no
    // longer be read whole: the download must end with an error.
    std::int64_t Read(std::uint64_t position, char* buffer, std::size_t max);

private:
    bool OpenFile(const std::filesystem::path& path);

    std::shared_ptr<TCast> Cast;
    std::shared_ptr<const TCastArchive> Archive;
    std::filesystem::path OpenPath;
    int File = -1;
};
