#pragma once

#include <cstdint>

// The demo clock of a playing demo: wall time times the playback speed (and
// a deliberate drift), played out in whole time ticks and never beyond the
// ticks that have arrived, so a demo that waits for data resumes where it
// stopped instead of racing to catch up.
class TDemoClock {
public:
    // drift 0.02: the clock runs 2 % fast; -0.02: 2 % slow.
    explicit TDemoClock(double drift) : FDrift(drift) {}

    void SetSpeed(double speed) { FSpeed = speed < 0 ? 0 : speed; }
    double Speed() const { return FSpeed; }

    // Lets wallSeconds pass with at most availableMs of demo to play.
    void Advance(double wallSeconds, std::int64_t availableMs);
    // Demo time of the ticks played so far.
    std::int64_t PlayedMs() const;

private:
    const double FDrift;
    double FSpeed = 1.0;
    double FPositionMs = 0;
};
