#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The stand-in's two command lines:
//   t2-standin record DIR --recordings N --seconds S [--gap S] [--info TEXT]
//   t2-standin [--clock-drift F] [--idle-end S] PATH/Tribes2DemoPlayback.exe -nologin -mod NELQ
// The second is how the client starts the game: its launcher words, then the
// executable's path and the game's own arguments.

class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TRecordOptions {
    std::string Directory;
    int Recordings = 0;
    double Seconds = 0;    // wall time (and demo time) of each recording
    double GapSeconds = 0; // between one recording's end and the next one's start
    std::optional<std::string> InfoText;
};

struct TPlaybackOptions {
    std::string Executable;
    std::string Mod;
    double ClockDrift = 0;      // 0.02: the demo clock runs 2 % fast
    double IdleEndSeconds = 30; // see PlaybackMode.h
};

// Both take the arguments after the program name.
bool IsRecordCommand(const std::vector<std::string>& args);
TRecordOptions ParseRecordArguments(const std::vector<std::string>& args);
TPlaybackOptions ParsePlaybackArguments(const std::vector<std::string>& args);

extern const char* const StandinUsage;
