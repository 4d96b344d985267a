#include "playback/UnitCastAudioPlayer.h"

#include <cstring>
#include <filesystem>

TCastAudioPlayer::TCastAudioPlayer(std::string castDirectory, TCastAudioState state,
                                   TDeviceFactory makeDevice)
    : FCastDirectory(std::move(castDirectory)), FState(std::move(state)),
      FMakeDevice(std::move(makeDevice)) {}

TCastAudioPlayer::~TCastAudioPlayer() {
    // The wave output asks for data until it is gone: free it before the decoder.
    FWaveOut.reset();
}

std::string TCastAudioPlayer::SectionPath(int32_t section) const {
    return (std::filesystem::path(FCastDirectory) / ("audio_" + std::to_string(section) + ".ogg"))
        .string();
}

bool TCastAudioPlayer::OpenSection(int32_t section, bool resetDevice) {
    const std::string failure = FDecoder.Open(SectionPath(section));
    if (failure.empty())
        return true;
    if (resetDevice && FWaveOut)
        FWaveOut->Reset();
    if (FState.ShowError)
        FState.ShowError(failure);
    return false;
}

bool TCastAudioPlayer::OpenAudioPlayer() {
    if (!OpenSection(FDecodeSection, false))
        return false;
    FWaveOut = std::make_unique<TWaveOut>(BufferSize, FMakeDevice());
    FWaveOut->SetFormat(FDecoder.Channels() == 2, static_cast<int32_t>(FDecoder.Rate()), 16);
    FWaveOut->SetOnData([this](uint8_t* buffer, int size) { return Fill(buffer, size); });
    FWaveOut->SetOnError(FState.ShowError);
    FWaveOut->Open();
    return true;
}

void TCastAudioPlayer::RestartAudio() {
    if (!FWaveOut)
        return;
    FWaveOut->Reset();
    FWaveOut->Start();
}

void TCastAudioPlayer::CloseDecoder() {
    FDecoder.Clear();
}

void TCastAudioPlayer::ReopenAudioAt(int32_t section) {
    if (!std::filesystem::exists(SectionPath(section)))
        return;
    FDecodeSection = section;
    if (OpenSection(section, true))
        RestartAudio();
}

void TCastAudioPlayer::FreeWaveOut() {
    FWaveOut.reset();
}

bool TCastAudioPlayer::OpenFirstPlayableFrom(int32_t section) {
    // A completed section whose audio cannot be decoded counts 0 ms on the
    // cast's time line: it is passed over, not waited for. A missing file ends
    // the data quietly, as at the end of what has arrived.
    for (FDecodeSection = section; FDecodeSection <= FState.LastCompletedSection() &&
                                   std::filesystem::exists(SectionPath(FDecodeSection));
         ++FDecodeSection)
        if (OpenSection(FDecodeSection, false))
            return true;
    return false;
}

int TCastAudioPlayer::Fill(uint8_t* buffer, int size) {
    if (FState.Paused() || FState.GameLaunchPending()) {
        std::memset(buffer, 0, static_cast<size_t>(size));
        return size;
    }
    if (!FDecoder.IsOpen() && !OpenFirstPlayableFrom(FDecodeSection))
        return 0;
    int filled = 0;
    while (filled < size) {
        const long got = FDecoder.Read(buffer + filled, size - filled);
        if (got > 0) {
            filled += static_cast<int>(got);
            continue;
        }
        // The end of the file, or a decoder error (a hole included), ends the
        // section: go on with the next one if it is there.
        FDecoder.Clear();
        if (!OpenFirstPlayableFrom(FDecodeSection + 1))
            break;
    }
    return filled;
}
