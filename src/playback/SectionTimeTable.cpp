#include "playback/SectionTimeTable.h"

#include "playback/AssemblyError.h"

#include <string>

void CheckTableSection(std::int32_t section) {
    if (section < 0 || section > LastTableSection)
        throw EAssemblyError("Section " + std::to_string(section) +
                             " is outside the sections 0 to " + std::to_string(LastTableSection) +
                             " that a cast can hold");
}

std::int32_t TSectionTimeTable::operator[](std::int32_t section) const {
    CheckTableSection(section);
    return FTimes[static_cast<std::size_t>(section)];
}

void TSectionTimeTable::Set(std::int32_t section, std::int32_t timeMs) {
    CheckTableSection(section);
    FTimes[static_cast<std::size_t>(section)] = timeMs;
}
