#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "WirePeer.h"

#include "net/UnitFilmerThread.h"
#include "platform/PumpedSyncContext.h"

#include <filesystem>

using namespace std::chrono_literals;

// The filmer thread against a server that sends the input on its first
// connection, while it uploads a short cast of fake sections as a filming
// run that has just been stopped does.
void FuzzFilmerThread(const std::uint8_t* data, std::size_t size) {
    TScratchDir scratch;
    const std::string work = scratch / "work/";
    std::filesystem::create_directories(work);
    std::filesystem::create_directories(scratch / "recordings");
    for (const char* name : {"stream_0.ogg", "stream_1.ogg"})
        WriteFile(work + name, "OggS audio of a fake section");
    TLoopbackListener listener;
    PumpedSyncContext sync;
    TFilmerThread filmer(sync, "1.0.0.47", "127.0.0.1", scratch / "recordings", work, "pw",
                         "FuzzCast", 1 << 20, 1, listener.Port());
    filmer.SetPassInterval(1ms);
    filmer.SetIdleTimeout(5s);
    filmer.Start();
    filmer.QueueFake();
    filmer.SetAccepting(false);
    filmer.ReleaseFake();
    ServeConnectionThread(filmer, sync, listener, AsText(data, size));
    CheckWrittenOnlyInside(scratch.Path(), {"work", "recordings"});
}
