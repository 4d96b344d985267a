#pragma once

#include <string>
#include <vector>

// The entry to preselect when a cast was played before: the last entry whose
// section is not beyond the last played one, 0 when there is none. The
// "lastplayed.dat" text is trimmed and read as a number (0 when it is not one).
int PickLastPlayedIndex(const std::vector<int>& entrySections, const std::string& lastPlayedText);

// The lines that describe a start-point section: its description line is a
// comma text of the section number, n names and n values; each name is shown
// with its value as "name: value".
std::vector<std::string> DescribeSection(const std::string& descriptionLine);

// The entry of the start-point list that a description line makes: the
// section it stands for (0 when item 0 is not a number), its first two values,
// and the cast time at which it starts (the value named "Cast Time", empty
// when the server sent none).
struct TSectionRow {
    int Section = 0;
    std::string FirstValue;
    std::string SecondValue;
    std::string StartsAt;
};
TSectionRow SectionRow(const std::string& descriptionLine);
