#include "session/PlaybackStatus.h"

#include "playback/CastTimeText.h"

#include <cstdio>

namespace {

constexpr const char* Dot = " \u00b7 ";

std::string GameText(const TPlaybackStatus& status) {
    switch (status.Game) {
    case TGameState::Starting:
        return "game starting";
    case TGameState::Playing: {
        char text[48];
        std::snprintf(text, sizeof text, "game playing at speed %.2f", status.Speed);
        return text;
    }
    case TGameState::Buffering:
        return "paused while the next sections download";
    case TGameState::AudioOnly:
    case TGameState::Finished:
        break;
    }
    return "audio only";
}

} // namespace

std::string DescribePlayback(const TPlaybackStatus& status) {
    const std::string length =
        status.LengthMs < 0 ? " (live)" : " of " + FormatCastTime(status.LengthMs);
    if (status.Game == TGameState::Finished)
        return "Played to the end" + std::string(Dot) + FormatCastTime(status.LengthMs);
    std::string line = "Section " + std::to_string(status.Section) + Dot +
                       FormatCastTime(status.HeardMs) + length + Dot;
    if (status.BufferedAhead == 1)
        line += "1 section buffered ahead";
    else
        line += std::to_string(status.BufferedAhead) + " sections buffered ahead";
    return line + Dot + GameText(status);
}
