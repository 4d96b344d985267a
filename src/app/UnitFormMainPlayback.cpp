// The main window's side of playback: the cast audio through the sound
// device, and the synchronisation timer that keeps the game in step with it.

#include "app/UnitFormMain.h"

#include "app/UnitMessageBoxes.h"
#include "playback/PlaybackSync.h"
#include "playback/QtWaveOutDevice.h"

#include <exception>

void TFormMain::StartPlayback(int section) {
    StopPlayback();
    // A section handed over while StopAll waits for the viewer thread must
    // not start what the tear-down has just ended.
    if (StoppingAll)
        return;
    if (!GameWindows)
        GameWindows = MakeGameWindowFinder();
    const TAssemblySettings& run = Assembly.Settings();
    PlaybackCast = std::make_unique<TAssembledCast>(Assembly);
    PlaybackSync = std::make_unique<TPlaybackSync>(
        *PlaybackCast, *GameWindows,
        TPlaybackSyncSettings{run.CastDirectory, run.GameDirectory, run.AudioOnly},
        TPlaybackSyncHooks{[this](std::int32_t demoNumber) {
                               PlaybackDemoNumber = demoNumber;
                               LaunchGame();
                           },
                           [this](bool paused) { SetPaused(paused); },
                           [this](const std::string& message) {
                               ShowPlaybackError(QString::fromStdString(message));
                           }},
        [] { return std::make_unique<TQtWaveOutDevice>(); });
    ShownPlaybackErrors.clear();
    if (!PlaybackSync->StartPlayback(section)) {
        StopPlayback();
        return;
    }
    PlaybackSync->RestartAudio();
    TimerSync->start();
}

void TFormMain::TimerSyncTimer() {
    if (!PlaybackSync)
        return;
    // A tick is never re-entered, and a failure inside it does not stop the
    // ticks that follow.
    TimerSync->stop();
    try {
        PlaybackSync->Tick();
    } catch (const std::exception& error) {
        ShowPlaybackError(QString::fromUtf8(error.what()));
    }
    if (PlaybackSync)
        TimerSync->start();
}

void TFormMain::ShowPlaybackError(const QString& message) {
    // A device that fails on every tick would otherwise bury the viewer in
    // boxes. The box opens once the caller has finished its step, so that
    // playback is never torn down under its own feet while the box is up.
    if (ShownPlaybackErrors.contains(message))
        return;
    ShownPlaybackErrors.insert(message);
    QMetaObject::invokeMethod(
        this, [this, message] { ShowErrorBox(this, message); }, Qt::QueuedConnection);
}

void TFormMain::StopPlayback() {
    TimerSync->stop();
    // Closes the decoder and frees the wave output.
    PlaybackSync.reset();
    PlaybackCast.reset();
}
