#pragma once

#include "playback/WaveOutDevice.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Plays what its owner gives it through a ring of four buffers: whenever a
// buffer is free, `OnData` is asked to fill it; when the owner has no more
// data and the last queued buffer has played, `OnPlayDone` is raised. Lives on
// the main thread, where the device delivers its notices.
class TWaveOut {
public:
    // Fills at most `size` bytes; 0 means no more data.
    using TDataEvent = std::function<int(uint8_t* buffer, int size)>;
    using TPlayDoneEvent = std::function<void(TWaveOut& sender)>;
    using TErrorEvent = std::function<void(const std::string& message)>;

    static constexpr int BufferCount = 4;

    // The format starts as stereo, 44100 Hz, 16 bits.
    TWaveOut(int bufferSize, std::unique_ptr<TWaveOutDevice> device);
    ~TWaveOut();

    TWaveOut(const TWaveOut&) = delete;
    TWaveOut& operator=(const TWaveOut&) = delete;

    void SetFormat(bool stereo, int32_t rate, int32_t bits);
    const TWaveFormat& Format() const { return FFormat; }
    void Open();
    void Close();
    // Seconds played since the device was opened or last reset.
    double Position();
    // Stops at once and takes every queued buffer back; the position restarts
    // at 0. While playing, the free buffers are offered to `OnData` again on
    // the next turn of the event loop, so the device keeps running.
    void Reset();
    void Start();
    void SetVolume(uint32_t volume);

    void SetOnData(TDataEvent handler) { FOnData = std::move(handler); }
    void SetOnPlayDone(TPlayDoneEvent handler) { FOnPlayDone = std::move(handler); }
    // Where a failure while refilling a played buffer is reported; playing has stopped.
    void SetOnError(TErrorEvent handler) { FOnError = std::move(handler); }

    bool Opened() const { return FOpened; }
    bool Playing() const { return FPlaying; }
    int BufferSize() const { return FBufferSize; }
    int QueuedBuffers() const { return static_cast<int>(FQueued.size()); }

private:
    void Refill();
    bool SendBuffer();
    void BufferDone();

    const int FBufferSize;
    std::unique_ptr<TWaveOutDevice> FDevice;
    TWaveFormat FFormat;
    bool FOpened = false;
    bool FPlaying = false;
    std::vector<std::vector<uint8_t>> FBuffers;
    std::deque<size_t> FFree;   // indexes into FBuffers, ready to fill
    std::deque<size_t> FQueued; // handed to the device, in the order sent
    TDataEvent FOnData;
    TPlayDoneEvent FOnPlayDone;
    TErrorEvent FOnError;
};
