#pragma once

#include <cstdint>
#include <string>
#include <vector>

// "completed.dat" in a cast directory: the line "audio", then one line
// "\"<section>\",\"<tag>\"" per completed section in the order they completed,
// with CR LF line ends. Offline viewing reads it back to replay the cast.

inline constexpr const char* CompletedFileName = "completed.dat";
inline constexpr const char* CompletedHeaderLine = "audio";

// Sections 0 to 1024 make a list of some 23 KB at most; a bigger file is not
// one of ours, and is refused before it is read rather than split into lines.
inline constexpr std::uint64_t MaxCompletedFileBytes = 64 << 10;

// The lines of the cast directory's "completed.dat"; none when it is missing.
// Raises EAssemblyError naming the file when it is bigger than the cap.
std::vector<std::string> LoadCompletedLines(const std::string& castDirectory);

// The line of one completed section, without its line end.
std::string CompletedSectionLine(std::int32_t section, std::int32_t tag);

// Adds the line of a completed section, creating the file with its first line
// when missing. The new list replaces the file in one rename, so a failure
// never leaves a cut list behind; errors raise.
void AppendCompletedSection(const std::string& castDirectory, std::int32_t section,
                            std::int32_t tag);
