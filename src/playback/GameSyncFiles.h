#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The two small files through which the client and the running game keep in
// step, both in the mod directory GameDirectory + "NELQ/": the game reports
// its demo clock in "demoprog.txt", the client gives speed and status
// instructions in "audiosync.txt".

std::string DemoProgressPath(const std::string& gameDirectory);
std::string AudioSyncPath(const std::string& gameDirectory);

// "0.000": three decimals and a point, whatever the locale.
std::string FormatSpeed(double speed);

// Line 1 the instruction number; from 1 on, line 2 the speed, a TAB and the
// status. Written whole with CR LF line ends; failures are ignored, the next
// instruction overwrites the file.
void WriteAudioSync(const std::string& gameDirectory, std::int32_t number,
                    const std::string& status, double speed);

// The game's demo time in ms; none when the file is missing, unreadable or
// not a whole number.
std::optional<std::int64_t> ReadDemoProgress(const std::string& gameDirectory);
