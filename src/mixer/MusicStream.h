#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

// Music converted to the recording format, waiting to be mixed into the cast:
// local playback appends a piece at a time, the capture takes it packet by
// packet. What nothing takes is not gathered without end: beyond the limit
// the oldest music goes, which is also the music heard longest ago.
class TMusicStream {
public:
    void Append(const uint8_t* data, size_t size);
    // Moves up to `size` bytes from the front into `into`; returns how many.
    size_t Take(uint8_t* into, size_t size);
    void Clear() { FBytes.clear(); }

    size_t Ahead() const { return FBytes.size(); }
    size_t Limit() const { return FLimit; }
    void SetLimit(size_t bytes);

private:
    void DropBeyondLimit();

    std::deque<uint8_t> FBytes;
    size_t FLimit = 0;
};
