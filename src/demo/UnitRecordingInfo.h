#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The info file the game leaves beside a recording ("game.rec.log"): all
// comma-separated fields of all lines form one list whose first half are names
// and whose second half are their values.

struct TRecordingInfo {
    std::vector<std::string> Entries;
    std::string CommaText;
};

// Reads and normalises the info list of the recording at `recordingPath`. The
// running total fills in a missing "Time Remaining" value.
TRecordingInfo ReadRecordingInfo(const std::string& recordingPath, std::int64_t runningTotalMs);

// The info list of the given text (lines separated by CR, LF or CR LF).
std::vector<std::string> ParseInfoList(const std::string& text, std::int64_t runningTotalMs);

// "mm:ss" with at least two digits each; minutes are not limited.
std::string FormatRunningTotal(std::int64_t totalMs);

// Entries joined by commas; entries with blanks, control characters, quotes or
// commas are quoted. A single empty entry is written as "".
std::string CommaText(const std::vector<std::string>& entries);

// The comma text cut to fit into maxBytes by leaving out whole name/value
// pairs from the last one on, so that names and values still pair up.
std::string CommaTextWithin(const std::vector<std::string>& entries, std::size_t maxBytes);
