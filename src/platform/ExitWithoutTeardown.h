#pragma once

#include <cstdio>
#include <cstdlib>

// Ends the process once everything of ours has been torn down, without the
// libraries' exit handlers. Qt Multimedia's PulseAudio backend closes its
// server connection from a static destructor while its own event thread still
// runs, and now and then that aborts the process after all work is done. The
// system closes the connection just as well.
[[noreturn]] inline void ExitWithoutTeardown(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}
