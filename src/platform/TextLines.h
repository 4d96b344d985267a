#pragma once

#include <string>
#include <vector>

// Splits a text into its lines at CR LF, LF or CR, without the endings and
// without an empty last line: the game's files and ours come with any of them.
std::vector<std::string> SplitLines(const std::string& text);
