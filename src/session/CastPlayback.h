#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

class GameWindowFinder;
class QTimer;
class TAssembledCast;
class TCastAssembler;
class TGameStarter;
class TPlaybackSync;
class TViewingView;
struct TPlaybackStatus;

// The playing part of a viewing run: the cast audio through the sound device,
// the game it launches, and the synchronisation timer that keeps the game in
// step. Lives on the main thread.
class TCastPlayback {
public:
    TCastPlayback(TViewingView& view, TGameStarter& games, QTimer& timerSync);
    ~TCastPlayback();
    TCastPlayback(const TCastPlayback&) = delete;
    TCastPlayback& operator=(const TCastPlayback&) = delete;

    // Begins at a section of the assembler's run, ending what played before.
    // A cast that cannot start leaves playback stopped (the viewer is told).
    void Start(TCastAssembler& assembly, std::int32_t section);
    // One synchronisation step; the timer's handler.
    void TimerSyncTimer();
    // No more ticks, the decoder closed and the wave output freed. Safe to repeat.
    void Stop();

    TPlaybackSync* Sync() const { return FSync.get(); }
    bool Paused() const { return FPaused; }
    // The audio has reached the end of a cast that has ended.
    bool PlayedToEnd() const { return FPlayedToEnd; }

    // Once a run, when playback reaches the end of the cast.
    std::function<void()> OnPlayedToEnd;
    // When a start finds no section whose audio can be played.
    std::function<void()> OnNothingPlayable;

private:
    void SetPaused(bool paused);
    TPlaybackStatus CurrentStatus();
    // Shows where playback stands; tells the run once it has played to the end.
    void ReportStatus();
    // Each message once a run: a device that fails on every tick would
    // otherwise bury the viewer in boxes.
    void ShowError(const std::string& message);

    TViewingView& View;
    TGameStarter& Games;
    QTimer& TimerSync;
    std::unique_ptr<GameWindowFinder> GameWindows;
    std::unique_ptr<TAssembledCast> Cast;
    std::unique_ptr<TPlaybackSync> FSync;
    std::set<std::string> ShownErrors;
    bool FPaused = false;
    bool AudioOnly = false;
    std::int64_t LastHeardMs = 0; // the clock cannot be read while paused or launching
    bool StatusShown = false;
    bool FPlayedToEnd = false;
};
