#pragma once

#include "net/UnitConnectionThread.h"

#include <string>

// What the "Connecting" page says when a run has come to an end, or stands
// still: a last line for its console that says what happened and what to do,
// and a brief caption under it. An empty ending clears the caption.
struct TEnding {
    std::string Line;
    std::string Caption;

    bool operator==(const TEnding&) const = default;
};

enum class TRunKind { Viewing, Filming };

// A download or upload thread that ended by itself.
TEnding ThreadEnding(TThreadEnding ending, TRunKind run);
// The server has not been reached for `tries` attempts in a row; the thread
// goes on trying.
TEnding UnreachableEnding(int tries);
TEnding NoCastsEnding();
// The download is over and the cast still plays; the finished cast's own
// ending follows once playback has reached its end.
TEnding StillPlayingEnding();
TEnding CastPlayedEnding();
// Nothing of the cast can be played, or its replay failed part way.
TEnding UnreadableCastEnding();
