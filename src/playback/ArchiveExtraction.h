#pragma once

#include "playback/ZipArchive.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TExtractOptions {
    // No entry may unpack to more than this, whatever it states: an archive
    // from a stranger could otherwise inflate until the disk is full.
    std::uint64_t MaxEntryBytes = std::uint64_t{2} << 30;
    // Called after each entry with the number of entries handled and in all.
    std::function<void(std::int64_t done, std::int64_t total)> Progress;
};

// Extracts the files of a cast from a zip archive into `directory`, whose
// parents are created, replacing its whole content: no file of an earlier
// extraction stays, and after a failure the earlier content is untouched.
//
// Only the last component of an entry's name is used, so nothing is written
// outside the directory, and only the names a cast holds are extracted:
// "completed.dat", "demo_N.rec" and "audio_N.ogg" with N a section number
// 0 to 1024 as the client writes it. Other entries are skipped; of entries
// with the same name the last one wins.
//
// Before anything is written, every entry's stated size is checked against
// the cap ("completed.dat" against its own, far smaller one) and all of them
// together against the free disk space; an entry that unpacks to more than it
// states, fails its CRC or cannot be read stops the extraction with
// EArchiveError. Returns the names written, in archive order.
std::vector<std::string> ExtractCastArchive(const std::string& archivePath,
                                            const std::string& directory,
                                            const TExtractOptions& options = {});
