#pragma once

#include "playback/WaveOutDevice.h"

#include <functional>
#include <memory>
#include <vector>

// A sound device whose clock the test steps: it plays nothing and reports
// as its position whatever frame count the test sets.
struct SteppedClock {
    int64_t Frames = 0;
    int32_t Rate = 0; // of the format the device was opened with
    int Resets = 0;
    size_t BytesWritten = 0; // since the last reset
    std::vector<std::function<void()>> Posted;

    void SetMs(int64_t ms) { Frames = ms * Rate / 1000; }
};

class SteppedWaveOutDevice : public TWaveOutDevice {
public:
    explicit SteppedWaveOutDevice(std::shared_ptr<SteppedClock> clock) : FClock(std::move(clock)) {}

    int Query(const TWaveFormat&) override { return 0; }
    int Open(const TWaveFormat& format, TBufferDone) override {
        FClock->Rate = format.Rate;
        return 0;
    }
    int Close() override { return 0; }
    void Reset() override {
        FClock->Frames = 0;
        FClock->BytesWritten = 0;
        ++FClock->Resets;
    }
    int Write(const uint8_t*, size_t length) override {
        FClock->BytesWritten += length;
        return 0;
    }
    int Position(int64_t& frames) override {
        frames = FClock->Frames;
        return 0;
    }
    int SetVolume(uint32_t) override { return 0; }
    // Like a queued call whose receiver is gone, a task a destroyed device
    // posted does not run.
    void Post(std::function<void()> task) override {
        FClock->Posted.push_back([alive = std::weak_ptr<int>(FAlive), task = std::move(task)] {
            if (!alive.expired())
                task();
        });
    }

private:
    std::shared_ptr<SteppedClock> FClock;
    const std::shared_ptr<int> FAlive = std::make_shared<int>(0);
};
