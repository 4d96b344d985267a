#pragma once

#include "playback/GameWindowFinder.h"
#include "playback/PlaybackCast.h"
#include "playback/UnitCastAudioPlayer.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>

struct TPlaybackSyncSettings {
    std::string CastDirectory; // "audio_%d.ogg" and "lastplayed.dat"
    std::string GameDirectory; // the game's GameData, holding the mod directory "NELQ/"
    bool AudioOnly = false;    // the game is never started
};

// How playback reaches the window and the game.
struct TPlaybackSyncHooks {
    // Writes the game scripts for the rebuilt recording that begins at the
    // section and starts the game; an exception means it could not.
    std::function<void(std::int32_t demoNumber)> LaunchGame;
    // Shows or hides the "PAUSED ... Buffering ..." panel.
    std::function<void(bool paused)> ShowPaused;
    // An error box with an OK button.
    std::function<void(const std::string& message)> ShowError;
    // True while the process of the game last launched lives. Unset: the
    // launch check counts as if it had ended.
    std::function<bool()> GameStarting;
};

// Plays a cast in two places at once: the commentary through the cast audio
// player, whose position is the master clock, and the rebuilt recordings in
// the game. Each tick (every 500 ms) moves playback from section to section,
// pauses while the next sections are still downloading, starts the game on
// each rebuilt recording when the audio reaches it, and sets the game's speed
// so that its demo clock follows the audio. Lives on the main thread.
class TPlaybackSync {
public:
    static constexpr int TickMs = 500;
    // Ticks without a window before a launch is given up; while the game's
    // process lives (Wine may take many seconds to start it) the longer limit
    // holds instead.
    static constexpr int LaunchCheckLimit = 16;
    static constexpr int StartingGameCheckLimit = 120;
    static constexpr double BufferingSpeed = 0.15;
    static constexpr const char* NoPlayableAudioMessage =
        "None of the downloaded audio sections could be played, so playback has stopped.";

    TPlaybackSync(TPlaybackCast& cast, GameWindowFinder& windows, TPlaybackSyncSettings settings,
                  TPlaybackSyncHooks hooks, TCastAudioPlayer::TDeviceFactory makeDevice);

    // Opens the audio on the section; the caller then restarts the audio and
    // starts ticking. When its audio cannot be decoded, playback begins with
    // the next completed section that can; false (and the viewer told) when
    // there is none.
    bool StartPlayback(std::int32_t section);
    void RestartAudio() { FPlayer.RestartAudio(); }
    // Starts the audio again at the beginning of the section, or of the next
    // one whose audio can be decoded; nothing when its file is missing.
    void ReopenAudioAt(std::int32_t section);
    // The demo time of the recording handed to the game that belongs to cast
    // audio time t (ms); -1 beyond the completed sections.
    std::int64_t EstimateDemoTime(std::int64_t t) const;
    void Tick();

    // Off switch for drift correction (benchmarks compare with and without).
    void SetDriftCorrection(bool enabled) { FDriftCorrection = enabled; }

    // Cast audio time heard now (ms), or -1 while there is no clock to read:
    // paused, launching, or no audio.
    std::int64_t HeardAudioTime();

    std::int32_t PlaySection() const { return FPlaySection; }
    std::int64_t AudioOffset() const { return FAudioOffset; }
    std::int64_t DemoBaseTime() const { return FDemoBaseTime; }
    std::int32_t PlaybackDemoNumber() const { return FPlaybackDemoNumber; }
    bool GameLaunchPending() const { return FGameLaunchPending; }
    int LaunchCheckCount() const { return FLaunchCheckCount; }
    bool Paused() const { return FPaused; }
    std::int64_t LastDemoPosition() const { return FLastDemoPosition; }
    std::int32_t SyncCount() const { return FSyncCount; }
    // The speed the game was last told to play at.
    double Speed() const { return FSpeed; }
    TCastAudioPlayer& Player() { return FPlayer; }

private:
    void LaunchCheck();
    bool GameStarting() const;
    void ResumeCheck();
    void SectionAdvance(std::int64_t t);
    void PauseForBuffering();
    void DemoStartCheck();
    void DriftCorrection(std::int64_t t);

    void SetPaused(bool paused);
    void Instruct(const std::string& status, double speed);
    void WriteLastPlayed() const;
    std::string AudioPath(std::int32_t section) const;
    // The first section from `first` on whose audio `open` starts without a
    // decoding failure; -1 when none of the completed ones does.
    std::int32_t FirstPlayable(std::int32_t first, const std::function<bool(std::int32_t)>& open);
    // A section's decoding failure is shown once, and only the first of a
    // search for a playable section; the others are counted.
    void AudioFailed(const std::string& message);

    TPlaybackCast& FCast;
    GameWindowFinder& FWindows;
    const TPlaybackSyncSettings FSettings;
    const TPlaybackSyncHooks FHooks;
    TCastAudioPlayer FPlayer;

    std::int32_t FPlaySection = -1;
    std::int64_t FAudioOffset = 0;
    std::int64_t FDemoBaseTime = 0;
    std::int32_t FPlaybackDemoNumber = 0;
    bool FGameLaunchPending = false;
    int FLaunchCheckCount = 0;
    bool FPaused = false;
    std::int64_t FLastDemoPosition = 0;
    std::int32_t FSyncCount = 0;
    double FSpeed = 1.0;
    bool FDriftCorrection = true;

    int FAudioFailures = 0;
    bool FSkippingFailures = false;
    std::set<std::int32_t> FFailuresShown; // sections whose audio failure the viewer has seen
};
