#pragma once

#include "playback/AudioWaveOut.h"
#include "playback/VorbisFileDecoder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// What the cast audio player reads from playback synchronisation and the cast
// store, and how it shows a failure.
struct TCastAudioState {
    std::function<bool()> Paused;
    std::function<bool()> GameLaunchPending;
    std::function<int32_t()> LastCompletedSection;
    // An error box with an OK button.
    std::function<void(const std::string& message)> ShowError;
};

// The cast's commentary: decodes the section files "audio_%d.ogg" one after
// the other, without a gap, into the wave output. Plays silence while paused
// or while the game is being launched. Lives on the main thread.
class TCastAudioPlayer {
public:
    using TDeviceFactory = std::function<std::unique_ptr<TWaveOutDevice>()>;

    static constexpr int BufferSize = 65536;

    TCastAudioPlayer(std::string castDirectory, TCastAudioState state, TDeviceFactory makeDevice);
    ~TCastAudioPlayer();

    TCastAudioPlayer(const TCastAudioPlayer&) = delete;
    TCastAudioPlayer& operator=(const TCastAudioPlayer&) = delete;

    int32_t DecodeSection() const { return FDecodeSection; }
    void SetDecodeSection(int32_t section) { FDecodeSection = section; }

    // Opens the decoder on `DecodeSection` and a wave output in the stream's
    // format. False (the error has been shown) when the file cannot be decoded.
    bool OpenAudioPlayer();
    void RestartAudio();
    void CloseDecoder();
    // Starts the audio again at the beginning of `section`, if its file exists.
    void ReopenAudioAt(int32_t section);
    // Frees the wave output (the wizard's tear-down); a second call does nothing.
    void FreeWaveOut();

    // The wave output's data request.
    int Fill(uint8_t* buffer, int size);

    TWaveOut* WaveOut() const { return FWaveOut.get(); }
    bool DecoderOpen() const { return FDecoder.IsOpen(); }

private:
    std::string SectionPath(int32_t section) const;
    // Shows the failure when the file cannot be decoded; the device is reset
    // first when `resetDevice` is set.
    bool OpenSection(int32_t section, bool resetDevice);
    // Opens the first completed section from `section` on whose audio can be
    // decoded, showing each failure; false at a missing file or past the
    // completed sections.
    bool OpenFirstPlayableFrom(int32_t section);

    const std::string FCastDirectory;
    const TCastAudioState FState;
    const TDeviceFactory FMakeDevice;
    TVorbisFileDecoder FDecoder;
    int32_t FDecodeSection = -1;
    std::unique_ptr<TWaveOut> FWaveOut;
};
