#pragma once

#include "Cast.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A finished cast as the archive the client opens offline: "completed.dat"
// (the line "audio", then one line per section with its demo tag), and each
// section's "demo_N.rec" and "audio_N.ogg" as a viewer of the whole cast
// receives them, stored in a zip without recompression. The layout names
// the stored bytes; nothing of the parts is held in memory.
struct TCastArchive {
    // A piece of the archive: bytes of its own (headers, the list), or a
    // range of a stored part file.
    struct TPiece {
        std::uint64_t Start = 0; // in the archive
        std::uint64_t Length = 0;
        std::string Bytes;
        std::filesystem::path File;
        std::uint64_t FileOffset = 0;
    };

    std::vector<TPiece> Pieces; // in archive order, without gaps
    std::uint64_t Size = 0;
    std::string ETag;             // quoted; changes whenever a byte would
    std::time_t LastModified = 0; // when the filmer finished
};

// Builds the layout, reading every part once for its CRC-32. Throws
// std::runtime_error when a part cannot be read whole, std::length_error
// when the archive would pass 4 GiB.
TCastArchive BuildCastArchive(const TCast& cast, const TCastState& state);

// The layouts of the finished casts asked for so far: a finished cast does
// not change, so its parts are read for their CRCs once. A cast deleted and
// filmed again under its name is a new cast.
class TCastArchiveCache {
public:
    // Null while the cast is live.
    std::shared_ptr<const TCastArchive> Find(const std::shared_ptr<TCast>& cast);

private:
    struct TEntry {
        std::weak_ptr<TCast> Cast;
        std::shared_ptr<const TCastArchive> Archive;
    };
    std::mutex Lock;
    std::map<std::string, TEntry> Entries; // guarded by Lock
};
