#pragma once

#include "audio/UnitAudioQuality.h"
#include "mixer/Mp3Decoder.h"
#include "mixer/MusicStream.h"
#include "mixer/TrackLoader.h"
#include "mixer/UnitACMConvertor.h"
#include "playback/AudioWaveOut.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The music mixer's workings, apart from its window: the playlist, the
// current track played locally through a wave output, the same music
// converted to the recording format and mixed into every captured packet at
// the cast and music volumes. Lives on the main thread.
class TMusicMixer {
public:
    using TDeviceFactory = std::function<std::unique_ptr<TWaveOutDevice>()>;
    // Runs a task later on the main thread, after the current event; may be
    // called from any thread.
    using TPost = std::function<void(std::function<void()>)>;

    // What the window shows of the mixer; every member may be left empty.
    struct TView {
        std::function<void(const std::string&)> SetStatusText;
        std::function<void()> PlaylistChanged;
        std::function<void(int index)> SelectPlaylistItem;
        std::function<void()> PlayingTimeChanged; // value or maximum
        std::function<void(bool enabled)> SetMonitorTimer;
    };

    // playlist.txt lives in `programDirectory` (ending in a separator) and is
    // loaded here; `recordingFormat` tells the format the cast is captured in.
    TMusicMixer(const std::string& programDirectory, TDeviceFactory devices, TPost post,
                std::function<TRecordingFormat()> recordingFormat);
    ~TMusicMixer();

    TMusicMixer(const TMusicMixer&) = delete;
    TMusicMixer& operator=(const TMusicMixer&) = delete;

    TView View;

    // The capture's hook: mixes music into a packet of 16-bit samples in place.
    void MixMusic(uint8_t* packet, int size);

    // Makes the file the current track and plays it once it is open; a file
    // that is no MP3 leaves the reason on the status bar, nothing playing,
    // and calls `cannotPlay`.
    void OpenTrack(const std::string& path, std::function<void()> cannotPlay = nullptr);
    // A track is being opened; it plays when it is.
    bool Opening() const { return FLoader.Opening(); }
    void RestartMonitor();
    void StartMonitor();
    int FillMonitorBuffer(uint8_t* buffer, int size);
    void TrackEnded();
    void TimerMonitorPlaybackTimer();

    bool PlayEnabled() const { return FTrack && !FPlaying; }
    bool StopEnabled() const { return FTrack && FPlaying; }
    void Play();
    void Stop();
    void Pause();
    // "Play MP3" from the file browser: the track stops at its end.
    void PlayFile(const std::string& path);
    void PlayPlaylistItem(int index);

    const std::vector<std::string>& Playlist() const { return FPlaylist; }
    void AddToPlaylist(const std::string& path);
    // Each returns the index to select afterwards (-1: none).
    int MoveUp(int index);
    int MoveDown(int index);
    int Remove(int index);
    std::string PlaylistFileName() const { return FProgramDirectory + "playlist.txt"; }

    // The playing-time slider, in seconds: dragging sets tracking, the
    // release seeks to where it was left.
    int PlayingTime() const { return FPlayingTime; }
    int PlayingTimeMax() const { return FPlayingTimeMax; }
    void BeginTracking() { FTracking = true; }
    void SetPlayingTime(int seconds);
    void EndTracking();
    bool Tracking() const { return FTracking; }

    void SetCastVolume(int value, int maximum);
    void SetMusicVolume(int value, int maximum);
    double CastFactor() const { return FCastFactor; }
    double MusicFactor() const { return FMusicFactor; }

    int CurrentIndex() const { return FCurrentIndex; }
    bool Playing() const { return FPlaying; }
    TMp3Decoder* Track() const { return FTrack.get(); }
    TWaveOut& Output() const { return *FOutput; }
    TACMConvertor& Converter() { return FConverter; }
    // Converted music not yet mixed into the cast, and the most that is kept.
    int64_t MusicAhead() const { return static_cast<int64_t>(FMusic.Ahead()); }
    int64_t MusicAheadLimit() const { return static_cast<int64_t>(FMusic.Limit()); }

private:
    void TrackOpened(std::unique_ptr<TMp3Decoder> track);
    void PlayNextTrack(size_t tries);
    void SavePlaylistFile();
    void SetPlayingTimeValue(int seconds, int maximum);
    void SetMonitorTimer(bool enabled);
    void ShowStatus(const std::string& text);
    void ApplyMusicVolume();
    void PrepareConverter();
    void PostTrackEnded();

    const std::string FProgramDirectory;
    const TDeviceFactory FDevices;
    const TPost FPost;
    const std::function<TRecordingFormat()> FRecordingFormat;

    std::vector<std::string> FPlaylist;
    int FCurrentIndex = -1;
    std::unique_ptr<TMp3Decoder> FTrack;
    TRecordingFormat FTrackFormat;
    bool FPlaying = false;
    bool FTracking = false;
    int FStartOffset = 0;
    int FPlayingTime = 0;
    int FPlayingTimeMax = 0;
    TMusicStream FMusic;
    double FCastFactor = 1.0;
    double FMusicFactor = 0.0;
    uint32_t FMonitorVolume = 0xFFFFFFFFu;
    std::unique_ptr<TWaveOut> FOutput;
    TACMConvertor FConverter;
    TTrackLoader FLoader;
    // Counts the starts and stops of local playback, so that an end notice
    // of an earlier run is not taken for the current one.
    uint64_t FMonitorRun = 0;
};
