#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

// The ring of fixed-size buffers behind the buffered capture component. The
// device side fills the queued buffers in order; a full buffer waits for the
// main thread, which hands it on and queues it again. Audio that arrives while
// every buffer is full is lost, as with a device whose queue has run dry.
class TWaveInBuffers {
public:
    TWaveInBuffers(size_t bufferSize, int numBuffers);

    // Returns true when at least one buffer became full.
    bool Write(const uint8_t* data, size_t length);
    // Moves the oldest full buffer into `buffer`; false when none is full.
    bool TakeFilled(std::vector<uint8_t>& buffer);
    // Puts a buffer taken with TakeFilled back at the end of the queue, cleared.
    void Requeue(std::vector<uint8_t>&& buffer);
    uint64_t LostBytes() const;

private:
    const size_t FBufferSize;
    mutable std::mutex FLock;
    std::deque<std::vector<uint8_t>> FQueued; // guarded by FLock; front is being filled
    std::deque<std::vector<uint8_t>> FFilled; // guarded by FLock
    size_t FFill = 0;                         // guarded by FLock: bytes in FQueued.front()
    uint64_t FLost = 0;                       // guarded by FLock
};
