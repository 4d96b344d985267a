#include "session/CastPlayback.h"

#include "playback/GameWindowFinder.h"
#include "playback/PlaybackCast.h"
#include "playback/PlaybackSync.h"
#include "playback/QtWaveOutDevice.h"
#include "session/GameStarter.h"
#include "session/PlaybackStatus.h"
#include "session/ViewingView.h"

#include <QTimer>

#include <algorithm>
#include <exception>
#include <utility>

TCastPlayback::TCastPlayback(TViewingView& view, TGameStarter& games, QTimer& timerSync)
    : View(view), Games(games), TimerSync(timerSync) {}

TCastPlayback::~TCastPlayback() {
    Stop();
}

void TCastPlayback::Start(TCastAssembler& assembly, std::int32_t section) {
    Stop();
    if (!GameWindows)
        GameWindows = MakeGameWindowFinder();
    const TAssemblySettings& run = assembly.Settings();
    AudioOnly = run.AudioOnly;
    LastHeardMs = 0;
    Cast = std::make_unique<TAssembledCast>(assembly);
    FSync = std::make_unique<TPlaybackSync>(
        *Cast, *GameWindows,
        TPlaybackSyncSettings{run.CastDirectory, run.GameDirectory, run.AudioOnly},
        TPlaybackSyncHooks{[this](std::int32_t demoNumber) { Games.Launch(demoNumber); },
                           [this](bool paused) { SetPaused(paused); },
                           [this](const std::string& message) { ShowError(message); },
                           [this] { return Games.LatestRunning(); }},
        [] { return std::make_unique<TQtWaveOutDevice>(); });
    ShownErrors.clear();
    if (!FSync->StartPlayback(section)) {
        Stop();
        if (OnNothingPlayable)
            OnNothingPlayable();
        return;
    }
    FSync->RestartAudio();
    TimerSync.start();
}

void TCastPlayback::TimerSyncTimer() {
    if (!FSync)
        return;
    // A tick is never re-entered, and a failure inside it does not stop the
    // ticks that follow.
    TimerSync.stop();
    try {
        FSync->Tick();
    } catch (const std::exception& error) {
        ShowError(error.what());
    }
    if (!FSync)
        return;
    ReportStatus();
    TimerSync.start();
}

void TCastPlayback::Stop() {
    TimerSync.stop();
    FSync.reset();
    Cast.reset();
    if (std::exchange(StatusShown, false))
        View.ShowPlayback({});
}

TPlaybackStatus TCastPlayback::CurrentStatus() {
    const std::int64_t heard = FSync->HeardAudioTime();
    if (heard >= 0)
        LastHeardMs = heard;
    TPlaybackStatus status;
    status.Section = FSync->PlaySection();
    status.HeardMs = LastHeardMs;
    const std::int32_t last = Cast->LastCompletedSection();
    if (Cast->StreamsEnded() && last >= 0)
        status.LengthMs = Cast->AudioEndTime(last);
    status.BufferedAhead = std::max(0, last - status.Section);
    status.Speed = FSync->Speed();
    if (FSync->GameLaunchPending())
        status.Game = TGameState::Starting;
    else if (FSync->Paused())
        status.Game = TGameState::Buffering;
    else if (!AudioOnly && GameWindows->GameWindowExists())
        status.Game = TGameState::Playing;
    // The player's clock stops at the last sound it has, a little short of
    // the end that the section lengths add up to.
    if (status.LengthMs >= 0 && status.Section >= last &&
        LastHeardMs + TPlaybackSync::TickMs >= status.LengthMs)
        status.Game = TGameState::Finished;
    return status;
}

void TCastPlayback::ReportStatus() {
    const TPlaybackStatus status = CurrentStatus();
    View.ShowPlayback(DescribePlayback(status));
    StatusShown = true;
    if (status.Game == TGameState::Finished && !std::exchange(FPlayedToEnd, true) && OnPlayedToEnd)
        OnPlayedToEnd();
}

void TCastPlayback::SetPaused(bool paused) {
    FPaused = paused;
    View.ShowPaused(paused);
}

void TCastPlayback::ShowError(const std::string& message) {
    if (ShownErrors.insert(message).second)
        View.ShowError(message);
}
