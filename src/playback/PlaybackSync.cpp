#include "playback/PlaybackSync.h"

#include "playback/GameSyncFiles.h"
#include "playback/SyncArithmetic.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TPlaybackSync::TPlaybackSync(TPlaybackCast& cast, GameWindowFinder& windows,
                             TPlaybackSyncSettings settings, TPlaybackSyncHooks hooks,
                             TCastAudioPlayer::TDeviceFactory makeDevice)
    : FCast(cast), FWindows(windows), FSettings(std::move(settings)), FHooks(std::move(hooks)),
      FPlayer(FSettings.CastDirectory,
              {[this] { return FPaused; }, [this] { return FGameLaunchPending; },
               [this] { return FCast.LastCompletedSection(); },
               [this](const std::string& message) { AudioFailed(message); }},
              std::move(makeDevice)) {}

std::string TPlaybackSync::AudioPath(std::int32_t section) const {
    return (fs::path(FSettings.CastDirectory) / ("audio_" + std::to_string(section) + ".ogg"))
        .string();
}

void TPlaybackSync::AudioFailed(const std::string& message) {
    ++FAudioFailures;
    const bool firstOfSection = FFailuresShown.insert(FPlayer.DecodeSection()).second;
    if (firstOfSection && !FSkippingFailures && FHooks.ShowError)
        FHooks.ShowError(message);
}

std::int32_t TPlaybackSync::FirstPlayable(std::int32_t first,
                                          const std::function<bool(std::int32_t)>& open) {
    // One box for the viewer, however many sections turn out unplayable.
    struct TShowAgainAfterwards {
        bool& Skipping;
        ~TShowAgainAfterwards() { Skipping = false; }
    } showAgain{FSkippingFailures};
    for (std::int32_t section = first;
         section <= FCast.LastCompletedSection() && fs::exists(AudioPath(section)); ++section) {
        const int failures = FAudioFailures;
        if (open(section) && failures == FAudioFailures)
            return section;
        FSkippingFailures = true;
    }
    return -1;
}

bool TPlaybackSync::StartPlayback(std::int32_t section) {
    FPlaySection = section;
    FDemoBaseTime = 0;
    SetPaused(false);
    FSyncCount = 0;
    FSpeed = 1.0;
    WriteAudioSync(FSettings.GameDirectory, 0, "", 0);
    const std::int32_t playable = FirstPlayable(section, [this](std::int32_t candidate) {
        FPlayer.SetDecodeSection(candidate);
        return FPlayer.OpenAudioPlayer();
    });
    if (playable < 0) {
        if (FHooks.ShowError)
            FHooks.ShowError(NoPlayableAudioMessage);
        return false;
    }
    FPlaySection = playable;
    FAudioOffset = SectionStartMs(FCast, playable);
    return true;
}

void TPlaybackSync::ReopenAudioAt(std::int32_t section) {
    if (!fs::exists(AudioPath(section)))
        return;
    const std::int32_t playable = FirstPlayable(section, [this](std::int32_t candidate) {
        FPlayer.ReopenAudioAt(candidate);
        return true;
    });
    if (playable < 0)
        return;
    // The audio starts again at the beginning of that section.
    FAudioOffset = SectionStartMs(FCast, playable);
    FPlaySection = std::max(FPlaySection, playable);
}

std::int64_t TPlaybackSync::EstimateDemoTime(std::int64_t t) const {
    return ::EstimateDemoTime(FCast, t, FDemoBaseTime);
}

std::int64_t TPlaybackSync::HeardAudioTime() {
    TWaveOut* device = FPlayer.WaveOut();
    if (device == nullptr || FPaused || FGameLaunchPending)
        return -1;
    return std::llround(device->Position() * 1000.0) + FAudioOffset;
}

void TPlaybackSync::Tick() {
    if (FGameLaunchPending) {
        LaunchCheck();
        return;
    }
    if (FPaused) {
        ResumeCheck();
        return;
    }
    const std::int64_t t = HeardAudioTime();
    if (t < 0)
        return;
    SectionAdvance(t);
    DemoStartCheck();
    DriftCorrection(t);
}

void TPlaybackSync::LaunchCheck() {
    if (fs::exists(DemoProgressPath(FSettings.GameDirectory)))
        FGameLaunchPending = false;
    if (!FWindows.GameWindowExists() && ++FLaunchCheckCount >= LaunchCheckLimit &&
        (FLaunchCheckCount >= StartingGameCheckLimit || !GameStarting()))
        FGameLaunchPending = false;
    if (!FGameLaunchPending && !FPaused)
        ReopenAudioAt(FPlaybackDemoNumber);
}

bool TPlaybackSync::GameStarting() const {
    return FHooks.GameStarting && FHooks.GameStarting();
}

void TPlaybackSync::ResumeCheck() {
    if (FGameLaunchPending)
        return;
    if (FPlaySection + 1 < FCast.LastCompletedSection() || FCast.StreamsEnded()) {
        // Unpaused first: the restarted device fills its buffers at once,
        // and they must hold the section's audio, not seconds of silence.
        SetPaused(false);
        ReopenAudioAt(FPlaySection);
        Instruct("NELQ", 1.0);
    }
}

void TPlaybackSync::SectionAdvance(std::int64_t t) {
    // The last section of an ended cast is where playback stays: beyond it
    // there is no section to move into.
    if (t < FCast.AudioEndTime(FPlaySection) || FPlaySection >= FCast.LastCompletedSection())
        return;
    ++FPlaySection;
    WriteLastPlayed();
    if (!FCast.StreamsEnded() && FPlaySection + 1 >= FCast.LastCompletedSection())
        PauseForBuffering();
}

void TPlaybackSync::PauseForBuffering() {
    if (TWaveOut* device = FPlayer.WaveOut())
        FAudioOffset += std::llround(device->Position() * 1000.0);
    FPlayer.CloseDecoder();
    if (TWaveOut* device = FPlayer.WaveOut())
        device->Reset();
    Instruct("BUFFERING", BufferingSpeed);
    SetPaused(true);
}

void TPlaybackSync::DemoStartCheck() {
    TListDemoStarts& starts = FCast.DemoStarts();
    if (starts.Count() == 0 || starts.Items(0).FirstSection > FPlaySection || FSettings.AudioOnly ||
        FWindows.GameWindowExists())
        return;
    const TDemoStart start = starts.Items(0);
    FAudioOffset = start.StartTimeMs;
    FDemoBaseTime = start.StartTimeMs;
    FPlayer.CloseDecoder();
    if (TWaveOut* device = FPlayer.WaveOut())
        device->Reset();
    // Playback goes back with the audio to where the recording begins.
    FPlaySection = start.FirstSection;
    FPlaybackDemoNumber = start.FirstSection;
    FLastDemoPosition = 0;
    FGameLaunchPending = true;
    FLaunchCheckCount = 0;
    starts.Delete(0);
    try {
        FHooks.LaunchGame(FPlaybackDemoNumber);
    } catch (...) {
        // No game will come: the audio goes on alone, as after a launch
        // whose window never showed.
        FGameLaunchPending = false;
        ReopenAudioAt(FPlaybackDemoNumber);
        throw;
    }
}

void TPlaybackSync::DriftCorrection(std::int64_t t) {
    if (!FDriftCorrection || FSettings.AudioOnly || FPaused || FPlayer.WaveOut() == nullptr ||
        !FWindows.GameWindowExists())
        return;
    const std::optional<std::int64_t> reported = ReadDemoProgress(FSettings.GameDirectory);
    if (!reported)
        return;
    const std::int64_t position = GamePositionMs(*reported);
    if (position == FLastDemoPosition)
        return;
    FLastDemoPosition = position;
    const std::int64_t estimate = EstimateDemoTime(t);
    if (estimate == -1)
        return;
    const double speed = DriftSpeed(estimate - position);
    Instruct(FormatSpeed(speed), speed);
}

void TPlaybackSync::SetPaused(bool paused) {
    FPaused = paused;
    if (FHooks.ShowPaused)
        FHooks.ShowPaused(paused);
}

void TPlaybackSync::Instruct(const std::string& status, double speed) {
    ++FSyncCount;
    FSpeed = speed;
    WriteAudioSync(FSettings.GameDirectory, FSyncCount, status, speed);
}

void TPlaybackSync::WriteLastPlayed() const {
    std::ofstream file(fs::path(FSettings.CastDirectory) / "lastplayed.dat",
                       std::ios::binary | std::ios::trunc);
    file << FPlaySection << "\r\n";
}
