#pragma once

#include "Cast.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The reply to "LISTSECTIONS": one line per start point (a section whose demo
// part carries a head), in section order.
std::vector<std::string> SectionListLines(TCast& cast);

// One line of that reply: the section number, a comma, then the info text of
// its demo part with the pair "Cast Time" added, the cast time at which the
// section begins as FormatCastTime shows it. The pair keeps the text's layout
// (all names, then all values); a pair of that name the filmer sent is
// replaced, as the time is the server's to tell. An info text that is not
// whole name/value pairs, or a start time that is not known, leaves the text
// as the filmer sent it (less any "Cast Time" pair of its own).
std::string SectionListLine(std::int32_t section, const std::string& infoText,
                            std::optional<std::int64_t> castTimeMs);
