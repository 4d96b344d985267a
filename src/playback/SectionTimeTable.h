#pragma once

#include <array>
#include <cstdint>

// A time in milliseconds for each section 0 to 1024: where a section ends on
// the cast's audio or demo time line. Section numbers come from the server,
// so both reads and writes refuse any other number with EAssemblyError.

inline constexpr std::int32_t LastTableSection = 1024;

// Raises EAssemblyError unless 0 <= section <= LastTableSection.
void CheckTableSection(std::int32_t section);

class TSectionTimeTable {
public:
    std::int32_t operator[](std::int32_t section) const;
    void Set(std::int32_t section, std::int32_t timeMs);
    void Clear() { FTimes.fill(0); }

private:
    std::array<std::int32_t, LastTableSection + 1> FTimes{};
};
