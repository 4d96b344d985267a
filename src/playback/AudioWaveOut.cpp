#include "playback/AudioWaveOut.h"

#include "playback/WaveOutErrors.h"

#include <algorithm>
#include <cstdio>

namespace {
std::string UnsupportedFormatMessage(const TWaveFormat& format) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Wave format not supported (%s; %.1f KHz; %d bits (%d kb/s) - waveOutOpen: ",
                  format.Stereo ? "Stereo" : "Mono", format.Rate / 1000.0, format.Bits,
                  format.BytesPerSecond() * 8 / 1000);
    return text;
}
} // namespace

TWaveOut::TWaveOut(int bufferSize, std::unique_ptr<TWaveOutDevice> device)
    : FBufferSize(bufferSize), FDevice(std::move(device)) {
    for (size_t i = 0; i < BufferCount; ++i) {
        FBuffers.emplace_back(static_cast<size_t>(bufferSize));
        FFree.push_back(i);
    }
}

TWaveOut::~TWaveOut() {
    try {
        Close();
    } catch (const EWaveOut&) {
        // Nothing is left to tell while going away.
    }
}

void TWaveOut::SetFormat(bool stereo, int32_t rate, int32_t bits) {
    const TWaveFormat format{stereo, rate, bits};
    if (format == FFormat)
        return;
    if (FOpened && FPlaying)
        throw EWaveOut("Cannot change waveOut device parameters while playing");
    if (const int code = FDevice->Query(format))
        throw EWaveOut(UnsupportedFormatMessage(format), code);
    const bool reopen = FOpened;
    Close();
    FFormat = format;
    if (reopen)
        Open();
}

void TWaveOut::Open() {
    if (FOpened)
        throw EWaveOut("WaveOut device already opened");
    if (const int code = FDevice->Open(FFormat, [this] { BufferDone(); }))
        throw EWaveOut("Unable to open wave device - waveOutOpen: ", code);
    FOpened = true;
}

void TWaveOut::Close() {
    if (!FOpened)
        return;
    Reset();
    FPlaying = false;
    FOpened = false;
    if (const int code = FDevice->Close())
        throw EWaveOut("Cannot close waveOut - waveOutClose: ", code);
}

double TWaveOut::Position() {
    int64_t frames = 0;
    if (const int code = FOpened ? FDevice->Position(frames) : WaveOutNotOpen)
        throw EWaveOut("Could not get position info - waveOutGetPosition: ", code);
    return static_cast<double>(frames) / FFormat.Rate;
}

void TWaveOut::Reset() {
    if (!FOpened)
        return;
    FDevice->Reset();
    while (!FQueued.empty()) {
        FFree.push_back(FQueued.front());
        FQueued.pop_front();
    }
    // The taken-back buffers are offered again later, as the device's own
    // notices would, so that a caller can change its state first.
    if (FPlaying)
        FDevice->Post([this] { Refill(); });
}

void TWaveOut::Start() {
    if (!FOnData)
        return;
    FPlaying = true;
    Refill();
}

void TWaveOut::Refill() {
    while (FPlaying && !FFree.empty() && SendBuffer()) {
    }
}

void TWaveOut::SetVolume(uint32_t volume) {
    if (const int code = FDevice->SetVolume(volume))
        throw EWaveOut("Unable to set volume level - waveOutSetVolume: ", code);
}

bool TWaveOut::SendBuffer() {
    if (FFree.empty())
        return false;
    const size_t buffer = FFree.front();
    FFree.pop_front();
    int filled = 0;
    try {
        filled = FOnData(FBuffers[buffer].data(), FBufferSize);
    } catch (...) {
        FFree.push_front(buffer);
        FPlaying = false;
        throw;
    }
    if (filled <= 0) {
        FFree.push_front(buffer);
        FPlaying = false;
        return false;
    }
    if (const int code = FDevice->Write(FBuffers[buffer].data(),
                                        static_cast<size_t>(std::min(filled, FBufferSize)))) {
        FFree.push_front(buffer);
        throw EWaveOut("Cannot send wave buffer - waveOutWrite: ", code);
    }
    FQueued.push_back(buffer);
    return true;
}

void TWaveOut::BufferDone() {
    if (FQueued.empty())
        return;
    FFree.push_back(FQueued.front());
    FQueued.pop_front();
    try {
        if (FPlaying)
            SendBuffer();
    } catch (const std::exception& error) {
        FPlaying = false;
        if (FOnError)
            FOnError(error.what());
    }
    // Also when this refill found no more data: the last buffer has come back.
    if (!FPlaying && FQueued.empty() && FOnPlayDone)
        FOnPlayDone(*this);
}
