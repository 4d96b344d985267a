#include "demo/UnitDemoStartList.h"

#include <stdexcept>
#include <string>

int TListDemoStarts::Add(std::int32_t firstSection, std::int32_t startTimeMs) {
    FItems.push_back(TDemoStart{startTimeMs, firstSection});
    return Count() - 1;
}

void TListDemoStarts::CheckIndex(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}

void TListDemoStarts::Delete(int index) {
    CheckIndex(index);
    FItems.erase(FItems.begin() + index);
}

TDemoStart& TListDemoStarts::Items(int index) {
    CheckIndex(index);
    return FItems[static_cast<std::size_t>(index)];
}

const TDemoStart& TListDemoStarts::Items(int index) const {
    CheckIndex(index);
    return FItems[static_cast<std::size_t>(index)];
}
