#pragma once

#include "playback/CastAssembler.h"
#include "session/CastPlayback.h"
#include "session/RunEndings.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QTimer;
class SyncContext;
class TGameStarter;
class TViewerThread;
class TViewingView;

// What a viewing run is started with.
struct TViewingSetup {
    std::string ClientVersion;
    std::string GameDirectory;    // the game's GameData; ends in a separator
    std::string StreamsDirectory; // the local cast store; ends in a separator
};

// One viewing of a cast, online or offline: the download thread (online) or
// the extraction (offline), the assembly of the rebuilt recordings, the cast
// audio, the games it launches and their synchronisation. Built when the user
// starts viewing and ended as a whole by Stop. Lives on the main thread and
// shows what happens through its view.
class TViewingRun {
public:
    TViewingRun(SyncContext& sync, TViewingView& view, QTimer& timerSync,
                std::unique_ptr<TGameStarter> games, TViewingSetup setup);
    ~TViewingRun();
    TViewingRun(const TViewingRun&) = delete;
    TViewingRun& operator=(const TViewingRun&) = delete;

    // Online: connects to the server, which answers with its casts (or a login request).
    void Connect(const std::string& host, std::chrono::milliseconds readTimeout);
    void LogIn(const std::string& username, const std::string& password);
    // Asks the server for the cast's start points.
    void ChooseGame(const std::string& game, bool audioOnly);
    // A start point is settled: a fresh "completed.dat", the "Viewing" page, a
    // new assembly and (online) the request for the cast from that section.
    void ViewFromSection(std::int32_t section);

    // Offline: replays a cast of the local store, or the cast archive of that
    // name there. What cannot be read is shown and raised.
    void OpenOffline(const std::string& name, bool audioOnly);
    // Replays the cast in an archive anywhere (a file opened from outside).
    void OpenArchive(const std::string& path, bool audioOnly);

    // The synchronisation timer's handler.
    void TimerSyncTimer();

    // Ends everything of the run: playback, games, the download thread, then
    // the rebuilt recording (never left half-written). Safe to call again,
    // also from the events that run while it waits.
    void Stop();

    const std::string& CurrentGame() const { return FCurrentGame; }
    std::string CastDirectory() const;
    std::int32_t StartSection() const { return FStartSection; }
    const TCastAssembler& Assembly() const { return FAssembly; }
    TCastAssembler& Assembly() { return FAssembly; }
    TPlaybackSync* Sync() const { return Playback.Sync(); }
    bool Paused() const { return Playback.Paused(); }
    // The cast plays and has not reached its end.
    bool Playing() const { return Playback.Sync() && !Playback.PlayedToEnd(); }
    TViewerThread* ViewerThread() const { return FViewerThread.get(); }

    // The viewer thread's reports.
    void SectionComplete(std::int32_t section, std::int32_t tag);
    void StreamsEndedHandler();
    void StartPlayback(std::int32_t section);

private:
    void OnSectionList(const std::vector<std::string>& sections);
    void DownloadEnded(TThreadEnding ending);
    void ShowEnding(const TEnding& ending);
    void OnProgress(std::int32_t slot, std::int32_t section, std::int32_t type,
                    std::int32_t received, std::int32_t length);
    void ExtractArchive(const std::string& path);
    void ReplayStoredCast(bool audioOnly);
    void RequestCast();

    SyncContext& Context;
    TViewingView& View;
    const std::unique_ptr<TGameStarter> Games;
    const TViewingSetup Setup;
    std::unique_ptr<TViewerThread> FViewerThread;
    TCastAssembler FAssembly;
    TCastPlayback Playback;
    std::string FCurrentGame;
    std::int32_t FStartSection = 0;
    bool FAudioOnly = false;
    // Bytes received and announced of the section's demo (0) and audio (1) stream.
    std::array<std::int32_t, 2> ProgressReceived{};
    std::array<std::int32_t, 2> ProgressLength{};
    bool Stopping = false;
    // While an offline cast is replayed, an ending waits for the replay's last line.
    bool Replaying = false;
    std::optional<TEnding> DeferredEnding;
};
