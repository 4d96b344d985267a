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

// Extracts every file of a zip archive straight into `directory`, created
// with its parents. Only the last component of an entry's name is used, so
// nothing is written outside the directory; entries whose name is then empty,
// "." or "..", holds a NUL or begins with a drive are skipped. Each file is
// written under a temporary name and renamed over any file of the same name
// once complete; other files in the directory stay.
//
// Before anything is written, every entry's stated size is checked against
// the cap and all of them together against the free disk space; an entry that
// unpacks to more than it states, fails its CRC or cannot be read stops the
// extraction with EArchiveError and leaves no partial file behind. Returns the
// names written, in archive order.
std::vector<std::string> ExtractCastArchive(const std::string& archivePath,
                                            const std::string& directory,
                                            const TExtractOptions& options = {});
