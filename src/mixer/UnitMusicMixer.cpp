#include "mixer/UnitMusicMixer.h"

#include "mixer/PlaylistFile.h"
#include "playback/WaveOutErrors.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace {
// The placeholder output before any track is open.
constexpr int PlaceholderBufferSize = 65536;
// Music is decoded and converted eight seconds at a time, one piece per output buffer.
constexpr int SecondsPerBuffer = 8;
// While the capture takes the music, at most the output's buffers of it wait
// there; one piece more allows for a capture running late.
constexpr int SecondsOfMusicKept = (TWaveOut::BufferCount + 1) * SecondsPerBuffer;

// Nearest integer, ties to even (the default rounding mode).
int Scaled(int16_t sample, double factor) {
    return static_cast<int>(std::nearbyint(sample * factor));
}

int16_t SampleAt(const uint8_t* at) {
    int16_t sample;
    std::memcpy(&sample, at, sizeof sample);
    return sample;
}

int RoundedSeconds(double seconds) {
    return static_cast<int>(std::lround(seconds));
}

std::string FileNamePart(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}
} // namespace

TMusicMixer::TMusicMixer(const std::string& programDirectory, TDeviceFactory devices, TPost post,
                         std::function<TRecordingFormat()> recordingFormat)
    : FProgramDirectory(programDirectory), FDevices(std::move(devices)), FPost(std::move(post)),
      FRecordingFormat(std::move(recordingFormat)), FLoader(FPost) {
    // Music is converted while it plays: the faster converter is plenty for a
    // cast at low rates and bitrates.
    FConverter.SetUseRealTime(true);
    FPlaylist = LoadPlaylist(PlaylistFileName());
    FOutput = std::make_unique<TWaveOut>(PlaceholderBufferSize, FDevices());
}

TMusicMixer::~TMusicMixer() = default;

void TMusicMixer::MixMusic(uint8_t* packet, int size) {
    if (size <= 0)
        return;
    std::vector<uint8_t> music(static_cast<size_t>(size), 0);
    FMusic.Take(music.data(), music.size());
    for (int i = 0; i < size / 2; ++i) {
        uint8_t* at = packet + 2 * i;
        const int sum = Scaled(SampleAt(at), FCastFactor) +
                        Scaled(SampleAt(music.data() + 2 * i), FMusicFactor);
        const auto mixed = static_cast<int16_t>(std::clamp(sum, -32767, 32767));
        std::memcpy(at, &mixed, sizeof mixed);
    }
}

void TMusicMixer::OpenTrack(const std::string& path, std::function<void()> cannotPlay) {
    ShowStatus(FileNamePart(path));
    FTrack.reset();
    RestartMonitor();
    SetPlayingTimeValue(0, 0);
    FLoader.Open(path,
                 [this, cannotPlay](std::unique_ptr<TMp3Decoder> track, const std::string& error) {
                     if (track) {
                         TrackOpened(std::move(track));
                         return;
                     }
                     ShowStatus(error);
                     if (cannotPlay)
                         cannotPlay();
                 });
}

void TMusicMixer::TrackOpened(std::unique_ptr<TMp3Decoder> track) {
    FTrack = std::move(track);
    SetPlayingTimeValue(0, RoundedSeconds(FTrack->BytesToSeconds(FTrack->Length())));

    FTrackFormat = TRecordingFormat{};
    FTrackFormat.Channels = FTrack->Mono() ? 1 : 2;
    FTrackFormat.BitsPerSample = FTrack->EightBit() ? 8 : 16;
    FTrackFormat.SamplesPerSec = static_cast<uint32_t>(FTrack->Rate());
    FTrackFormat.BlockAlign =
        static_cast<uint16_t>(FTrackFormat.Channels * FTrackFormat.BitsPerSample / 8);
    FTrackFormat.AvgBytesPerSec = FTrackFormat.BlockAlign * FTrackFormat.SamplesPerSec;
    FConverter.SetActive(false);
    FConverter.ACMFormatIn = FTrackFormat;
    FConverter.ACMFormatOut = FRecordingFormat();
    FConverter.SetInputBufferSize(static_cast<int>(FTrackFormat.AvgBytesPerSec) * SecondsPerBuffer);
    FConverter.SetActive(true);

    RestartMonitor();
    StartMonitor();
}

void TMusicMixer::RestartMonitor() {
    SetMonitorTimer(false);
    ++FMonitorRun;
    FOutput.reset();
    FPlaying = false;
    FMusic.Clear();
    if (!FTrack) {
        FOutput = std::make_unique<TWaveOut>(PlaceholderBufferSize, FDevices());
        return;
    }
    FOutput = std::make_unique<TWaveOut>(
        static_cast<int>(FTrackFormat.AvgBytesPerSec) * SecondsPerBuffer, FDevices());
    FOutput->SetFormat(FTrackFormat.Channels == 2, static_cast<int32_t>(FTrackFormat.SamplesPerSec),
                       FTrackFormat.BitsPerSample);
    FOutput->SetOnData(
        [this](uint8_t* buffer, int size) { return FillMonitorBuffer(buffer, size); });
    FOutput->SetOnPlayDone([this](TWaveOut&) { PostTrackEnded(); });
    FOutput->SetOnError([this](const std::string& message) { ShowStatus(message); });
    // Each output starts at the level the music slider sets.
    ApplyMusicVolume();
    FOutput->Open();
}

void TMusicMixer::StartMonitor() {
    SetMonitorTimer(false);
    ++FMonitorRun;
    FMusic.Clear();
    if (!FTrack)
        return;
    PrepareConverter();
    FStartOffset = RoundedSeconds(FTrack->BytesToSeconds(FTrack->Position()));
    FOutput->Reset();
    FOutput->Start();
    FPlaying = true;
    SetMonitorTimer(true);
    // A track that had nothing more to give plays nothing and ends at once.
    if (!FOutput->Playing() && FOutput->QueuedBuffers() == 0)
        PostTrackEnded();
}

// The converter starts afresh with local playback; a filming run started
// since the track was opened may record in another format.
void TMusicMixer::PrepareConverter() {
    const TRecordingFormat wanted = FRecordingFormat();
    FMusic.SetLimit(size_t{wanted.AvgBytesPerSec} * SecondsOfMusicKept);
    const TRecordingFormat& current = FConverter.ACMFormatOut;
    if (wanted.Channels == current.Channels && wanted.SamplesPerSec == current.SamplesPerSec &&
        wanted.BitsPerSample == current.BitsPerSample && FConverter.Active()) {
        // The music restarts from another place.
        FConverter.Reset();
        return;
    }
    FConverter.SetActive(false);
    FConverter.ACMFormatOut = wanted;
    FConverter.SetActive(true);
}

int TMusicMixer::FillMonitorBuffer(uint8_t* buffer, int size) {
    int n = 0;
    if (FTrack && FTrack->Active())
        n = FTrack->GetData(buffer, size - 2);
    std::copy_n(buffer, n, FConverter.InputBuffer());
    const int converted = FConverter.Convert(n);
    FMusic.Append(FConverter.OutputBuffer(), static_cast<size_t>(converted));
    if (n == 0 && FTrack && !FTrack->Failure().empty())
        ShowStatus(FTrack->Failure());
    return n;
}

void TMusicMixer::PostTrackEnded() {
    // The output is still inside its own notice; the next track replaces it.
    const uint64_t run = FMonitorRun;
    FPost([this, run] {
        if (run == FMonitorRun)
            TrackEnded();
    });
}

void TMusicMixer::TrackEnded() {
    FPlaying = false;
    SetMonitorTimer(false);
    if (FCurrentIndex == -1) {
        RestartMonitor();
        SetPlayingTimeValue(0, FPlayingTimeMax);
        if (FTrack)
            FTrack->SetPosition(0);
        return;
    }
    PlayNextTrack(FPlaylist.size());
}

// On to the next track, from the top after the last; tracks that cannot be
// played are passed over, `tries` of them at most.
void TMusicMixer::PlayNextTrack(size_t tries) {
    if (tries == 0 || FPlaylist.empty())
        return;
    FCurrentIndex = FCurrentIndex + 1 < static_cast<int>(FPlaylist.size()) ? FCurrentIndex + 1 : 0;
    if (View.SelectPlaylistItem)
        View.SelectPlaylistItem(FCurrentIndex);
    OpenTrack(FPlaylist[static_cast<size_t>(FCurrentIndex)],
              [this, tries] { PlayNextTrack(tries - 1); });
}

void TMusicMixer::TimerMonitorPlaybackTimer() {
    if (FTracking || !FPlaying)
        return;
    SetPlayingTimeValue(RoundedSeconds(FOutput->Position()) + FStartOffset, FPlayingTimeMax);
}

void TMusicMixer::Play() {
    if (!PlayEnabled() || !FTrack->Active())
        return;
    if (FPlayingTime == FPlayingTimeMax)
        SetPlayingTimeValue(0, FPlayingTimeMax);
    FTrack->SetPosition(FTrack->SecondsToBytes(FPlayingTime));
    StartMonitor();
}

void TMusicMixer::Stop() {
    // A track still being opened would start playing after the stop.
    FLoader.Cancel();
    if (!StopEnabled())
        return;
    RestartMonitor();
    SetPlayingTimeValue(0, FPlayingTimeMax);
    FTrack->SetPosition(0);
}

void TMusicMixer::Pause() {
    if (StopEnabled())
        RestartMonitor();
}

void TMusicMixer::PlayFile(const std::string& path) {
    FCurrentIndex = -1;
    OpenTrack(path);
}

void TMusicMixer::PlayPlaylistItem(int index) {
    if (index < 0 || index >= static_cast<int>(FPlaylist.size()))
        return;
    FCurrentIndex = index;
    OpenTrack(FPlaylist[static_cast<size_t>(index)]);
}

void TMusicMixer::AddToPlaylist(const std::string& path) {
    FPlaylist.push_back(path);
    SavePlaylistFile();
}

int TMusicMixer::MoveUp(int index) {
    if (index > 0 && index < static_cast<int>(FPlaylist.size())) {
        std::swap(FPlaylist[static_cast<size_t>(index)], FPlaylist[static_cast<size_t>(index - 1)]);
        --index;
    }
    SavePlaylistFile();
    return index;
}

int TMusicMixer::MoveDown(int index) {
    if (index >= 0 && index < static_cast<int>(FPlaylist.size()) - 1) {
        std::swap(FPlaylist[static_cast<size_t>(index)], FPlaylist[static_cast<size_t>(index + 1)]);
        ++index;
    }
    SavePlaylistFile();
    return index;
}

int TMusicMixer::Remove(int index) {
    if (index >= 0 && index < static_cast<int>(FPlaylist.size()))
        FPlaylist.erase(FPlaylist.begin() + index);
    SavePlaylistFile();
    return std::min(index, static_cast<int>(FPlaylist.size()) - 1);
}

void TMusicMixer::SavePlaylistFile() {
    if (View.PlaylistChanged)
        View.PlaylistChanged();
    if (!SavePlaylist(PlaylistFileName(), FPlaylist))
        ShowStatus("Cannot write " + PlaylistFileName());
}

void TMusicMixer::SetPlayingTime(int seconds) {
    FPlayingTime = std::clamp(seconds, 0, FPlayingTimeMax);
}

void TMusicMixer::EndTracking() {
    if (FTrack) {
        FTrack->SetPosition(FTrack->SecondsToBytes(FPlayingTime));
        if (FTrack->Active())
            StartMonitor();
    }
    FTracking = false;
}

void TMusicMixer::SetCastVolume(int value, int maximum) {
    FCastFactor = 1.0 / maximum * value;
}

void TMusicMixer::SetMusicVolume(int value, int maximum) {
    FMusicFactor = 1.0 / maximum * value;
    const auto level = static_cast<uint32_t>(std::lround(65535.0 / maximum * value));
    FMonitorVolume = level * 65537u;
    ApplyMusicVolume();
}

void TMusicMixer::ApplyMusicVolume() {
    try {
        FOutput->SetVolume(FMonitorVolume);
    } catch (const EWaveOut&) {
        // The local level is a convenience; the music still plays.
    }
}

void TMusicMixer::SetPlayingTimeValue(int seconds, int maximum) {
    FPlayingTimeMax = maximum;
    FPlayingTime = std::clamp(seconds, 0, maximum);
    if (View.PlayingTimeChanged)
        View.PlayingTimeChanged();
}

void TMusicMixer::SetMonitorTimer(bool enabled) {
    if (View.SetMonitorTimer)
        View.SetMonitorTimer(enabled);
}

void TMusicMixer::ShowStatus(const std::string& text) {
    if (View.SetStatusText)
        View.SetStatusText(text);
}
