#pragma once

#include "playback/PlaybackCast.h"

#include <cstdint>

// The sums behind keeping the game's demo clock in step with the audio.

// The game reports its clock when it has moved on by more than half a
// second, so its position is taken that far back (never below 0).
std::int64_t GamePositionMs(std::int64_t reportedMs);

// The speed that makes up a difference d = audio's demo time − game's demo
// time (ms) in a few seconds: faster when the game is behind, up to 2.0;
// slower when it is ahead, down to 0.5.
double DriftSpeed(std::int64_t differenceMs);

// Where section `section` begins on the cast's audio time line.
std::int64_t SectionStartMs(const TPlaybackCast& cast, std::int32_t section);

// The demo time (relative to demoBaseMs) that belongs to cast audio time
// tMs, interpolated inside the section that holds it; -1 when tMs lies
// beyond the completed sections.
std::int64_t EstimateDemoTime(const TPlaybackCast& cast, std::int64_t tMs, std::int64_t demoBaseMs);
