#pragma once

#include <string>

// Values derived once at start-up, and the trace hook. Directory values always
// end in a separator; paths are formed by appending names.

// The program's own file version, presented to servers.
std::string ClientVersion();

// Where filming writes section files and under which casts are stored: the
// executable's directory when portable (above), else
// $XDG_DATA_HOME/NELQ/. $NELQ_HOME overrides both.
std::string ComputeAppDirectory();

// Whether the executable's directory may serve as AppDirectory: writable, and
// not among the system's programs (a packaged client that root runs must not
// write into /usr/bin).
bool IsPortableDirectory(const std::string& directory);

// AppDirectory + "streams/", created with its parents when missing (a failure
// is left for later writes to report).
std::string PrepareStreamsDirectory(const std::string& appDirectory);

struct GameDirectories {
    std::string DefaultGameDirectory; // where the installer put the game's GameData
    std::string GameDirectory;        // the configured one, defaulting to the above
};

// The game's "GameData" directory as its installer recorded it in the Wine
// prefix, or the fixed fallback; `configured` (may be empty) is the user's
// stored choice, which wins.
GameDirectories LocateGameDirectory(const std::string& configured);

// Ensures one trailing separator.
std::string IncludeTrailingSeparator(const std::string& directory);

// The directory part of a path, with a trailing separator.
std::string ExtractFileDir(const std::string& path);

// Interesting steps report here; nothing is written anywhere.
inline void Trace(int /*level*/, const std::string& /*message*/) {}
