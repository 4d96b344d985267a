#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "WirePeer.h"

#include "net/UnitViewerThread.h"
#include "platform/PumpedSyncContext.h"

#include <filesystem>

using namespace std::chrono_literals;

// The viewer thread against a server that sends the input on its first
// connection. The thread is driven as the window drives it: it lists the
// games, logs in when asked, and requests the first game it is offered from
// its first section on. Whatever the server names, the thread writes only
// into the streams directory.
void FuzzViewerThread(const std::uint8_t* data, std::size_t size) {
    TScratchDir scratch;
    const std::string streams = scratch / "jail/jail/streams/";
    std::filesystem::create_directories(streams);
    TLoopbackListener listener;
    PumpedSyncContext sync;
    TViewerThread viewer(sync, "1.0.0.47", scratch / "recordings/", streams, "127.0.0.1",
                         listener.Port());
    viewer.SetTimings(1ms, 60s);
    viewer.SetReadTimeout(5s);
    viewer.OnAuthRequired = [&viewer] {
        viewer.SetUsername("someone");
        viewer.SetPassword("secret");
        viewer.SetViewerState(vsLogin);
    };
    viewer.OnGameList = [&viewer](const std::vector<std::string>& games) {
        if (games.empty())
            return;
        viewer.SetGameName(games.front());
        viewer.SetStartSection(0);
        viewer.SetViewerState(vsRequest);
    };
    viewer.SetViewerState(vsListGames);
    viewer.Start();
    ServeConnectionThread(viewer, sync, listener, AsText(data, size));
    CheckWrittenOnlyInside(scratch.Path(), {"jail/jail/streams"});
}
