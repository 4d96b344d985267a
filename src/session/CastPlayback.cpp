#include "session/CastPlayback.h"

#include "playback/GameWindowFinder.h"
#include "playback/PlaybackCast.h"
#include "playback/PlaybackSync.h"
#include "playback/QtWaveOutDevice.h"
#include "session/GameStarter.h"
#include "session/ViewingView.h"

#include <QTimer>

#include <exception>

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
    Cast = std::make_unique<TAssembledCast>(assembly);
    FSync = std::make_unique<TPlaybackSync>(
        *Cast, *GameWindows,
        TPlaybackSyncSettings{run.CastDirectory, run.GameDirectory, run.AudioOnly},
        TPlaybackSyncHooks{[this](std::int32_t demoNumber) { Games.Launch(demoNumber); },
                           [this](bool paused) { SetPaused(paused); },
                           [this](const std::string& message) { ShowError(message); }},
        [] { return std::make_unique<TQtWaveOutDevice>(); });
    ShownErrors.clear();
    if (!FSync->StartPlayback(section)) {
        Stop();
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
    if (FSync)
        TimerSync.start();
}

void TCastPlayback::Stop() {
    TimerSync.stop();
    FSync.reset();
    Cast.reset();
}

void TCastPlayback::SetPaused(bool paused) {
    FPaused = paused;
    View.ShowPaused(paused);
}

void TCastPlayback::ShowError(const std::string& message) {
    if (ShownErrors.insert(message).second)
        View.ShowError(message);
}
