#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// The line "LISTSECTIONS" gives for a start-point section: its number, a
// comma, then the info text stored in its demo part (the comma text of the
// recording's names followed by their values). Reads only the fixed-size
// head of the part: a 4-byte duration, then 1024 bytes of text ended by a
// zero byte. Control characters become blanks so the text stays one line.
std::string SectionListLine(std::int32_t section, const std::filesystem::path& demoPart);
