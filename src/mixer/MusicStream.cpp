#include "mixer/MusicStream.h"

#include <algorithm>

void TMusicStream::Append(const uint8_t* data, size_t size) {
    FBytes.insert(FBytes.end(), data, data + size);
    DropBeyondLimit();
}

size_t TMusicStream::Take(uint8_t* into, size_t size) {
    const size_t taken = std::min(size, FBytes.size());
    std::copy_n(FBytes.begin(), taken, into);
    FBytes.erase(FBytes.begin(), FBytes.begin() + static_cast<std::ptrdiff_t>(taken));
    return taken;
}

void TMusicStream::SetLimit(size_t bytes) {
    FLimit = bytes;
    DropBeyondLimit();
}

void TMusicStream::DropBeyondLimit() {
    if (FBytes.size() > FLimit)
        FBytes.erase(FBytes.begin(),
                     FBytes.begin() + static_cast<std::ptrdiff_t>(FBytes.size() - FLimit));
}
