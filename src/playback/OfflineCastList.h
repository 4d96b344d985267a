#pragma once

#include <string>
#include <vector>

// The casts that can be played without a server: the cast directories under
// the streams directory, then its ".zip" archives, then its ".qmx" archives
// (extensions in any letter case), each group in name order. "ACTIVE" (the
// extraction directory), its work directories and links are left out; names
// with spaces, other scripts or a leading dot are listed like any other.
std::vector<std::string> ListOfflineCasts(const std::string& streamsDirectory);

// Whether an entry of that list is an archive to extract rather than a cast
// directory to play: a file whose extension is ".zip" or ".qmx", in any
// letter case. A directory that happens to be named so is played directly.
bool IsCastArchive(const std::string& streamsDirectory, const std::string& name);

// The directory an archive is extracted into and played from.
inline constexpr const char* ExtractionDirectoryName = "ACTIVE";
