#pragma once

#include <string>
#include <vector>

// Text files of lines, as the game's script and preference files are kept:
// read with either line ending, written with CR LF.

// The file's lines without their endings. Throws std::runtime_error naming
// the file when it cannot be read.
std::vector<std::string> ReadTextLines(const std::string& path);

// Replaces the file with `lines`. The text goes to a file beside it first and
// is renamed into place, so a failed write leaves the old file intact.
// Throws std::runtime_error naming the file on failure.
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines);
