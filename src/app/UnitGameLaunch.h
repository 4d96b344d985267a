#pragma once

#include <optional>
#include <string>
#include <vector>

// How the playback executable is started here: the setting "GameLauncher" is a
// command line (e.g. "wine" or "env WINEDEBUG=-all wine"), and the executable
// and its arguments are appended to it.

// Splits a command line into words as a POSIX shell does for quotes and
// backslashes (no expansions, no shell run). Throws std::invalid_argument for
// a quote that is never closed.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// The launcher used when none is configured: "wine" when it is on the PATH,
// otherwise none (the game cannot be started).
std::string DefaultGameLauncher();

struct GameLaunchCommand {
    std::string Program;
    std::vector<std::string> Arguments;
    std::string WorkingDirectory;
};

// The launcher's words followed by the playback executable's full path and
// "-nologin", "-mod", "NELQ", run in the game directory; none for an empty
// launcher. Throws std::invalid_argument for a malformed launcher.
std::optional<GameLaunchCommand> GameLaunchCommandFor(const std::string& launcher,
                                                      const std::string& gameDirectory);
