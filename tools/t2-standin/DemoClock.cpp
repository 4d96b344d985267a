#include "DemoClock.h"

#include "demo/UnitRecording.h"

#include <algorithm>
#include <cmath>

void TDemoClock::Advance(double wallSeconds, std::int64_t availableMs) {
    const double step = wallSeconds * 1000.0 * FSpeed * (1.0 + FDrift);
    FPositionMs = std::min(FPositionMs + std::max(step, 0.0), static_cast<double>(availableMs));
}

std::int64_t TDemoClock::PlayedMs() const {
    return static_cast<std::int64_t>(std::floor(FPositionMs / DemoTickMs)) * DemoTickMs;
}
