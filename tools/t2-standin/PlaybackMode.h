#pragma once

#include "StandinArguments.h"

#include <ostream>

// The game started by the client on a rebuilt recording: a window titled
// "Tribes 2", the demo named by the generated start script played by its time
// ticks while the client still appends to it, progress reported and speed
// instructions followed as the scripts do, and the game gone at the end of
// the demo. The working directory is the game directory.
//
// End of the demo: every tick has been played and either the recording's zlib
// stream has ended (the client has finished the recording), or nothing has
// arrived for IdleEndSeconds while the speed was not a pause (below 0.2): a
// recording that the client no longer writes but never finished. While the
// client pauses the game for buffering the stand-in waits for data however
// long it takes.
//
// Progress goes to `log`: the demo played, each instruction taken, the end.
// Returns the exit status: 0 at the end of the demo or when the user closes
// the window, 1 when the demo cannot be played.
int RunPlaybackMode(const TPlaybackOptions& options, std::ostream& log);
