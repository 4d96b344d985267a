#pragma once

#include "playback/WaveOutDevice.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// The sound card for the mixer's plain tests: every output device made here
// plays a written buffer when the test says so, and posted tasks (from any
// thread) run when the test turns the loop.
class TFakeSoundCard {
public:
    std::unique_ptr<TWaveOutDevice> NewDevice();
    void Post(std::function<void()> task);

    // Plays the oldest buffer written to the open device (false when none),
    // then runs the posted tasks.
    bool PlayOneBuffer();
    // Plays until nothing is left to play.
    void PlayAll();
    void RunTasks();
    // Runs posted tasks, waiting for more, until `done` (false after a generous deadline).
    bool RunTasksUntil(const std::function<bool()>& done);
    // Waits for a posted task; false when none came within `limit`.
    bool WaitForTask(std::chrono::milliseconds limit);

    // Set by the devices.
    TWaveFormat Format;
    uint32_t Volume = 0;
    bool Open = false;
    std::vector<uint8_t> Heard;
    std::deque<std::vector<uint8_t>> Written;
    int64_t PlayedFrames = 0;
    std::function<void()> BufferDone;
    int DevicesMade = 0;

private:
    friend class TFakeWaveOutDevice;
    std::function<void()> TakeTask();

    std::mutex FTasksLock;
    std::condition_variable FTaskPosted;
    std::deque<std::function<void()>> FTasks; // guarded by FTasksLock
    const void* FOpenDevice = nullptr;
};
