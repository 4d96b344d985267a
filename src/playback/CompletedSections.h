#pragma once

#include <cstdint>
#include <string>

// "completed.dat" in a cast directory: the line "audio", then one line
// "\"<section>\",\"<tag>\"" per completed section in the order they completed,
// with CR LF line ends. Offline viewing reads it back to replay the cast.

inline constexpr const char* CompletedFileName = "completed.dat";

// Adds the line of a completed section, creating the file with its first line
// when missing. The new list replaces the file in one rename, so a failure
// never leaves a cut list behind; errors raise.
void AppendCompletedSection(const std::string& castDirectory, std::int32_t section,
                            std::int32_t tag);
