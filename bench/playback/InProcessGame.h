#pragma once

#include "BenchGame.h"
#include "DemoClock.h"
#include "GrowingRecording.h"
#include "PlaybackScript.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

// The game stand-in's playback run inside the benchmark, so that its demo
// clock can be read at any moment: the same recording reader, demo clock
// and game-side script as t2-standin, driven by Frame() from the event loop.
// Its "window" exists while a demo plays.
class TInProcessGame : public TBenchGame {
public:
    // drift 0.02: the demo clock runs 2 % fast.
    TInProcessGame(std::string gameDirectory, double drift);

    // What the client's launch does and the game then does on its own:
    // "demoprog.txt" goes, the rebuilt recording loads, the first report follows.
    void Launch(std::int32_t demoNumber) override;
    // One time step of the game loop.
    void Frame() override;

    bool GameWindowExists() override { return FRecording != nullptr; }
    std::int64_t DemoClockMs() override { return FClock ? FClock->PlayedMs() : -1; }
    int Launches() const override { return FLaunches; }

private:
    using TClock = std::chrono::steady_clock;

    const std::string FGameDirectory;
    const double FDrift;
    std::unique_ptr<TGrowingRecording> FRecording;
    std::unique_ptr<TPlaybackScript> FScript;
    std::unique_ptr<TDemoClock> FClock;
    TClock::time_point FLastFrame;
    int FLaunches = 0;
};
