#pragma once

#include <cstdint>
#include <vector>

// Where each rebuilt recording begins: kept by the viewer until the game has
// been started on that recording.
struct TDemoStart {
    std::int32_t StartTimeMs = 0;  // cast audio time at which the recording begins
    std::int32_t FirstSection = 0; // section whose demo part began it
};

class TListDemoStarts {
public:
    // Appends an item; returns its index.
    int Add(std::int32_t firstSection, std::int32_t startTimeMs);
    // Index errors raise std::out_of_range.
    void Delete(int index);
    TDemoStart& Items(int index);
    const TDemoStart& Items(int index) const;
    int Count() const { return static_cast<int>(FItems.size()); }
    void Clear() { FItems.clear(); }

private:
    void CheckIndex(int index) const;
    std::vector<TDemoStart> FItems;
};
