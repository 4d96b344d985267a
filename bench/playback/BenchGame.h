#pragma once

#include "playback/GameWindowFinder.h"

#include <cstdint>

// The game as the sync benchmark drives it: launched by playback, given a
// time step on every frame of the event loop, its demo clock read while the
// audio plays.
class TBenchGame : public GameWindowFinder {
public:
    // What the client's launch does: the game then starts on its own.
    virtual void Launch(std::int32_t demoNumber) = 0;
    // One pass of the event loop (every 10 ms).
    virtual void Frame() = 0;
    // The game's demo clock now; -1 while it cannot be read at this moment.
    virtual std::int64_t DemoClockMs() = 0;
    virtual int Launches() const = 0;
};
