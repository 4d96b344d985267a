#pragma once

#include <optional>
#include <string>
#include <vector>

// What the command line asks for: a "nelq://host/GAME/" link (connect to the
// host and pick that game) or a ".qmx" cast archive to play offline.
struct CommandLineRequest {
    std::string LinkHost;
    std::string LinkGame; // upper case
    std::string PendingArchive;
};

// The link to `game` on `host` that ParseCommandLine reads back exactly: the
// game percent-encoded but for letters, digits and "-._~".
std::string LinkTo(const std::string& host, const std::string& game);

// Reads the program's arguments (without the program itself), joined with
// single spaces. Anything that is neither a link with a host nor an existing
// ".qmx" file (a path, or a local "file:" URL as desktops may pass it) asks
// for nothing.
CommandLineRequest ParseCommandLine(const std::vector<std::string>& arguments);

// The index of the game a link names among the server's games (letter case
// ignored); -1 when it is not there.
int LinkGameIndex(const std::vector<std::string>& games, const std::string& linkGame);

// The text that "--help" or "--version" as the first argument asks for, to be
// printed instead of starting the window; none for any other command line.
std::optional<std::string> CommandLineInfo(const std::vector<std::string>& arguments);
