#pragma once

#include "GameFiles.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// What the generated scripts make the game do while a demo plays: report the
// demo clock in "demoprog.txt" at the start and then every 500 ms of demo
// time, and take speed and status instructions from "audiosync.txt" at those
// moments, or on every update while the speed is below 0.2 (the client's
// pause). Called by the player after each time step of the demo.
class TPlaybackScript {
public:
    // Told of every instruction taken: its number, speed and status.
    using TInstructionHandler = std::function<void(const TSyncInstruction&)>;

    // modDirectory ends in a separator.
    TPlaybackScript(std::string modDirectory, TInstructionHandler onInstruction);

    // PlayOffline once the demo has loaded: the empty progress line, then the
    // first update at demo time 0.
    void Start();
    // demoPlaybackUpdate(curTime).
    void Update(std::int64_t demoTimeMs);

    double TimeScale() const { return FTimeScale; }
    const std::string& Status() const { return FStatus; }

private:
    void CheckSyncFile();

    const std::string FModDirectory;
    const TInstructionHandler FOnInstruction;
    std::optional<std::int64_t> FLastDemoProgress; // empty until the first update
    double FLastSyncCount = 0;
    double FTimeScale = 1.0;
    std::string FStatus = "NELQ";
};
