#include "SoakViewers.h"

#include "EventLog.h"
#include "FaultInjector.h"
#include "FaultPlan.h"
#include "SoakSetup.h"
#include "ViewerProbe.h"

#include "app/UnitNELQGlobal.h"
#include "net/UnitViewerThread.h"
#include "platform/PumpedSyncContext.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

// One viewer as the main window drives it: list the games, then ask for the
// soak's cast from its first section.
class TSoakViewer {
public:
    TSoakViewer(SyncContext& sync, const fs::path& directory, const std::string& relayAddress,
                std::chrono::seconds duration, std::uint32_t seed)
        : Random(seed), Events((directory / "events").string()),
          Relay(relayAddress, ServerAddress, ViewerPort),
          Faults(Relay, TFlow::Downstream, ViewerDownloadBoundary,
                 PlanFaults(Random, duration, false), seed, Events),
          Viewer(sync, ClientVersion(), (directory / "recordings").string() + "/",
                 (directory / "streams").string() + "/", relayAddress, Relay.Port()) {
        Viewer.OnStatus = [this](const std::string& text) {
            if (text == "Attempting Reconnection...")
                Events.Add(TSoakEvent::Reconnection);
        };
        Viewer.OnGameList = [this](const std::vector<std::string>& games) {
            if (std::find(games.begin(), games.end(), SoakGame) != games.end())
                RequestCast(Viewer, SoakGame, 0);
            else
                Viewer.SetViewerState(vsListGames);
        };
        // Slot -1 only says a transfer is being resumed: not yet progress.
        Viewer.OnProgress = [this](std::int32_t slot, std::int32_t, std::int32_t, std::int32_t,
                                   std::int32_t) {
            if (slot >= 0)
                Events.Add(TSoakEvent::Progress);
        };
        Viewer.OnSectionComplete = [this](std::int32_t, std::int32_t) {
            Events.Add(TSoakEvent::Progress);
        };
        Viewer.OnStreamsEnded = [this] {
            Events.Add(TSoakEvent::End);
            FEnded = true;
        };
        Viewer.SetReadTimeout(TViewerThread::DefaultReadTimeout); // as the client's window sets it
        Viewer.Start();
    }

    ~TSoakViewer() { Viewer.Stop(); }

    void Tick() { Faults.Tick(); }
    bool Ended() const { return FEnded; }

private:
    std::mt19937 Random;
    TEventLog Events;
    TFaultRelay Relay;
    TFaultInjector Faults;
    bool FEnded = false;
    TViewerThread Viewer; // last: stopped before what its handlers touch goes
};

} // namespace

fs::path ViewerDirectory(const fs::path& directory, int viewer) {
    return directory / ("viewer-" + std::to_string(viewer + 1));
}

int RunSoakViewers(const fs::path& directory, std::chrono::seconds duration,
                   std::chrono::seconds limit, std::uint32_t seed) {
    PumpedSyncContext sync;
    std::vector<std::unique_ptr<TSoakViewer>> viewers;
    for (int v = 0; v < ViewerCount; ++v) {
        fs::create_directories(ViewerDirectory(directory, v) / "streams");
        viewers.push_back(std::make_unique<TSoakViewer>(sync, ViewerDirectory(directory, v),
                                                        ViewerRelayAddress(v), duration,
                                                        seed + static_cast<std::uint32_t>(v)));
    }
    const bool ended = sync.PumpUntil(
        [&] {
            for (auto& viewer : viewers)
                viewer->Tick();
            return std::all_of(viewers.begin(), viewers.end(),
                               [](const auto& viewer) { return viewer->Ended(); });
        },
        limit);
    return ended ? 0 : 1;
}
