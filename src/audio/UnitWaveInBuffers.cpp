#include "audio/UnitWaveInBuffers.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

TWaveInBuffers::TWaveInBuffers(size_t bufferSize, int numBuffers) : FBufferSize(bufferSize) {
    if (bufferSize == 0 || numBuffers <= 0)
        throw std::invalid_argument(
            "TWaveInBuffers: needs at least one buffer of at least one byte");
    for (int i = 0; i < numBuffers; ++i)
        FQueued.emplace_back(bufferSize);
}

bool TWaveInBuffers::Write(const uint8_t* data, size_t length) {
    std::lock_guard guard(FLock);
    bool filled = false;
    while (length > 0 && !FQueued.empty()) {
        auto& buffer = FQueued.front();
        const size_t part = std::min(length, FBufferSize - FFill);
        std::memcpy(buffer.data() + FFill, data, part);
        FFill += part;
        data += part;
        length -= part;
        if (FFill == FBufferSize) {
            FFilled.push_back(std::move(buffer));
            FQueued.pop_front();
            FFill = 0;
            filled = true;
        }
    }
    FLost += length;
    return filled;
}

bool TWaveInBuffers::TakeFilled(std::vector<uint8_t>& buffer) {
    std::lock_guard guard(FLock);
    if (FFilled.empty())
        return false;
    buffer = std::move(FFilled.front());
    FFilled.pop_front();
    return true;
}

void TWaveInBuffers::Requeue(std::vector<uint8_t>&& buffer) {
    buffer.assign(FBufferSize, 0);
    std::lock_guard guard(FLock);
    FQueued.push_back(std::move(buffer));
}

uint64_t TWaveInBuffers::LostBytes() const {
    std::lock_guard guard(FLock);
    return FLost;
}
