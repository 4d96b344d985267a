#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// The circular capture buffer behind the polled capture stream. The device
// side writes, the main thread reads; when the reader falls more than a whole
// buffer behind, the oldest unread audio is overwritten, as a looping capture
// buffer does.
class TCaptureRing {
public:
    explicit TCaptureRing(size_t size);

    void Write(const uint8_t* data, size_t length);
    size_t Available() const;
    // Copies up to `count` unread bytes in order (in two parts where the buffer
    // wraps); returns how many were copied.
    size_t Read(uint8_t* target, size_t count);
    size_t Size() const { return FBuffer.size(); }
    uint64_t LostBytes() const;

private:
    std::vector<uint8_t> FBuffer;
    mutable std::mutex FLock;
    uint64_t FWritten = 0; // guarded by FLock
    uint64_t FRead = 0;    // guarded by FLock
    uint64_t FLost = 0;    // guarded by FLock
};
