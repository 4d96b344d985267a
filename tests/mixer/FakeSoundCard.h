#pragma once

#include "playback/WaveOutDevice.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

// The sound card for the mixer's plain tests: every output device made here
// plays a written buffer when the test says so, and posted tasks run when
// the test turns the loop.
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
    std::deque<std::function<void()>> FTasks;
    const void* FOpenDevice = nullptr;
};
