#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// A PCM wave format: channels interleaved, signed little-endian samples (8-bit
// ones unsigned).
struct TWaveFormat {
    bool Stereo = true;
    int32_t Rate = 44100;
    int32_t Bits = 16;

    int32_t Channels() const { return Stereo ? 2 : 1; }
    int32_t BlockAlign() const { return Channels() * Bits / 8; }
    int32_t BytesPerSecond() const { return Rate * BlockAlign(); }
    bool operator==(const TWaveFormat&) const = default;
};

// One audio output backend. Every call and every notice happens on the main
// thread; calls return 0 or one of the wave output error codes.
class TWaveOutDevice {
public:
    // One written buffer has been played, in the order written. Never called
    // from inside a call to the device.
    using TBufferDone = std::function<void()>;

    virtual ~TWaveOutDevice() = default;

    // Whether the device can play the format.
    virtual int Query(const TWaveFormat& format) = 0;
    virtual int Open(const TWaveFormat& format, TBufferDone onBufferDone) = 0;
    virtual int Close() = 0;
    // Drops everything written (no notice follows for it); the position restarts at 0.
    virtual void Reset() = 0;
    // Queues a buffer; it must stay valid until its notice or a reset.
    virtual int Write(const uint8_t* data, size_t length) = 0;
    // Frames played since the device was opened or last reset.
    virtual int Position(int64_t& frames) = 0;
    // Left level in the low 16 bits, right level in the high 16 bits.
    virtual int SetVolume(uint32_t volume) = 0;
    // Runs the task later on the main thread, unless the device is gone by then.
    virtual void Post(std::function<void()> task) = 0;
};
