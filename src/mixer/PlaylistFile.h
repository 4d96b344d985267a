#pragma once

#include <string>
#include <vector>

// "playlist.txt": one full path per line, lines ending in CR LF.

// The paths in the file, in order; blank lines are left out, and a missing
// file is an empty playlist.
std::vector<std::string> LoadPlaylist(const std::string& fileName);
// Rewrites the whole file; a failed write leaves the earlier file as it was.
// Returns false when the file could not be written.
bool SavePlaylist(const std::string& fileName, const std::vector<std::string>& paths);
