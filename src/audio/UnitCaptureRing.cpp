#include "audio/UnitCaptureRing.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

TCaptureRing::TCaptureRing(size_t size) : FBuffer(size) {
    if (size == 0)
        throw std::invalid_argument("TCaptureRing: the buffer needs at least one byte");
}

void TCaptureRing::Write(const uint8_t* data, size_t length) {
    std::lock_guard guard(FLock);
    const size_t size = FBuffer.size();
    if (length > size) { // only the newest bytes fit
        data += length - size;
        FWritten += length - size;
        length = size;
    }
    const size_t start = static_cast<size_t>(FWritten % size);
    const size_t first = std::min(length, size - start);
    std::memcpy(FBuffer.data() + start, data, first);
    std::memcpy(FBuffer.data(), data + first, length - first);
    FWritten += length;
    if (FWritten - FRead > size) {
        FLost += FWritten - FRead - size;
        FRead = FWritten - size;
    }
}

size_t TCaptureRing::Available() const {
    std::lock_guard guard(FLock);
    return static_cast<size_t>(FWritten - FRead);
}

size_t TCaptureRing::Read(uint8_t* target, size_t count) {
    std::lock_guard guard(FLock);
    const size_t size = FBuffer.size();
    count = std::min(count, static_cast<size_t>(FWritten - FRead));
    const size_t start = static_cast<size_t>(FRead % size);
    const size_t first = std::min(count, size - start);
    std::memcpy(target, FBuffer.data() + start, first);
    std::memcpy(target + first, FBuffer.data(), count - first);
    FRead += count;
    return count;
}

uint64_t TCaptureRing::LostBytes() const {
    std::lock_guard guard(FLock);
    return FLost;
}
