#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The files the client and the game's scripts exchange in the mod directory,
// read and written as the scripts do it. Every format the stand-in shares
// with the client lives here.

// The demo that line 8 (counted from 0, the ninth line) of
// "scripts/TrainingGui.cs" names, the line the client generates as
// `%file = "recordings/nelqdemo<N>.rec";`; relative to the mod directory.
// Throws when that line holds no such assignment.
std::string DemoFileOfStartScript(const std::string& scriptText);

// "audiosync.txt": line 1 the instruction number, line 2 (number above 0) the
// speed, a TAB and a status text. Numbers read as the script language reads
// them: a leading decimal number, else 0.
struct TSyncInstruction {
    double Number = 0;
    std::optional<double> Speed; // empty when line 2 is empty or missing
    std::string Status;
};
TSyncInstruction ParseAudioSync(const std::string& text);

// "demoprog.txt": one line, the demo time in milliseconds, or an empty line
// when playback has just begun; lines end in CR LF as the game writes them.
std::string DemoProgressText(std::optional<std::int64_t> demoTimeMs);

// Whole-file helpers: a missing or unreadable file reads as empty text, and a
// failed write is ignored, as the game's file object does.
std::string ReadGameFile(const std::string& path);
void WriteGameFile(const std::string& path, const std::string& text);
