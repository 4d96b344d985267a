#pragma once

#include <filesystem>
#include <string>

// The info text stored in a demo part (the comma text of the recording's names
// followed by their values). Reads only the fixed-size head of the part: a
// 4-byte duration, then 1024 bytes of text ended by a zero byte. Control
// characters become blanks so the text stays one line.
std::string DemoPartInfoText(const std::filesystem::path& demoPart);
