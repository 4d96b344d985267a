#pragma once

#include <cstdint>
#include <string>

// What the game does while a cast plays.
enum class TGameState { Starting, Playing, Buffering, AudioOnly, Finished };

// Where a playing cast stands, as the viewer is told every tick.
struct TPlaybackStatus {
    std::int32_t Section = 0;      // the section whose audio plays
    std::int64_t HeardMs = 0;      // on the cast's time line, from the first section played
    std::int64_t LengthMs = -1;    // of the whole cast; -1 while the filmer goes on
    std::int32_t BufferedAhead = 0; // completed sections after the one playing
    TGameState Game = TGameState::AudioOnly;
    double Speed = 1.0; // of the game, while it plays
};

// One line, e.g. "Section 7 · 3:12 of 12:40 · 2 sections buffered ahead ·
// game playing at speed 1.05".
std::string DescribePlayback(const TPlaybackStatus& status);
