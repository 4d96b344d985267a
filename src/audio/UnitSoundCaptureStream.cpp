#include "audio/UnitSoundCaptureStream.h"

#include "audio/UnitCaptureErrors.h"
#include "audio/UnitCaptureSink.h"
#include "audio/UnitQtAudioFormat.h"

#include <QAudioSource>
#include <QEventLoop>
#include <QMediaDevices>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr int32_t ProbedRates[] = {8000, 11025, 22050, 33075, 44100, 48000, 96000};
constexpr int32_t ProbedBits[] = {8, 16, 24, 32};
constexpr int32_t ProbedChannels[] = {1, 2};
constexpr int PollMilliseconds = 50;
} // namespace

TSoundCaptureStream::TSoundCaptureStream(const QAudioDevice& device)
    : FDevice(device.isNull() ? QMediaDevices::defaultAudioInput() : device) {
    if (FDevice.isNull())
        throw ESoundCaptureStreamError("DirectSoundCapture cannot be initialized");
    ProbeFormats();
    connect(&FNotify, &QTimer::timeout, this, [this] { Poll(); });
}

TSoundCaptureStream::~TSoundCaptureStream() {
    Stop();
}

void TSoundCaptureStream::ProbeFormats() {
    for (int32_t rate : ProbedRates)
        for (int32_t bits : ProbedBits)
            for (int32_t channels : ProbedChannels) {
                const QAudioFormat format = PcmAudioFormat(rate, bits, channels);
                if (format.sampleFormat() != QAudioFormat::Unknown &&
                    FDevice.isFormatSupported(format))
                    FFormats.push_back({rate, bits, channels});
            }
}

int TSoundCaptureStream::FindFormat(int32_t rate, int32_t bits, int32_t channels) const {
    for (size_t i = 0; i < FFormats.size(); ++i) {
        const auto& format = FFormats[i];
        if (format.SamplesPerSec == rate && format.BitsPerSample == bits &&
            format.Channels == channels)
            return static_cast<int>(i);
    }
    return -1;
}

void TSoundCaptureStream::SetBufferTime(int32_t milliseconds) {
    FBufferTime = std::max(milliseconds, 0);
}

void TSoundCaptureStream::SetOnPacket(TPacketEvent handler) {
    FOnPacket = std::move(handler);
    FNotify.stop();
    if (FActive && FOnPacket)
        FNotify.start();
}

void TSoundCaptureStream::Start() {
    Stop();
    FActive = true;
    try {
        if (FFormatIndex < 0 || FFormatIndex >= static_cast<int>(FFormats.size()))
            throw ESoundCaptureStreamError("Sound Capture Buffer cannot be made");
        const TSoundCaptureFormat& chosen = FFormats[static_cast<size_t>(FFormatIndex)];
        const double bytesPerSecond =
            chosen.SamplesPerSec * chosen.Channels * (chosen.BitsPerSample / 8.0);
        const auto bufferSize =
            std::max<long long>(std::llround(bytesPerSecond * FBufferTime / 1000.0), 8000);

        FRing = std::make_unique<TCaptureRing>(static_cast<size_t>(bufferSize));
        FSink = std::make_unique<TCaptureSink>(
            [ring = FRing.get()](const uint8_t* data, size_t length) {
                ring->Write(data, length);
            });
        FSource = std::make_unique<QAudioSource>(
            FDevice, PcmAudioFormat(chosen.SamplesPerSec, chosen.BitsPerSample, chosen.Channels));
        FSource->start(FSink.get());
        if (!SourceRunning())
            throw ESoundCaptureStreamError("Sound Capture Buffer cannot be made");

        FNotify.setInterval(std::clamp(FBufferTime / 4, 1, PollMilliseconds));
        if (FOnPacket)
            FNotify.start();
    } catch (...) {
        Stop();
        throw;
    }
}

void TSoundCaptureStream::Stop() {
    FNotify.stop();
    FActive = false;
    if (FSource)
        FSource->stop();
    FSource.reset();
    FSink.reset();
    FRing.reset();
}

bool TSoundCaptureStream::SourceRunning() const {
    return FSource && FSource->error() == QAudio::NoError &&
           FSource->state() != QAudio::StoppedState;
}

size_t TSoundCaptureStream::Read(void* buffer, size_t count) {
    if (!FActive)
        Start();
    auto* target = static_cast<uint8_t*>(buffer);
    size_t copied = FRing->Read(target, count);
    FReading = true;
    while (copied < count && SourceRunning()) {
        // The device delivers through the event loop, so wait in one.
        QEventLoop wait;
        QTimer::singleShot(PollMilliseconds, &wait, &QEventLoop::quit);
        wait.exec();
        if (!FRing)
            break; // stopped while waiting
        copied += FRing->Read(target + copied, count - copied);
    }
    FReading = false;
    if (copied < count) {
        const bool eightBit = FFormats[static_cast<size_t>(FFormatIndex)].BitsPerSample == 8;
        std::memset(target + copied, eightBit ? 128 : 0, count - copied);
    }
    return count;
}

void TSoundCaptureStream::Poll() {
    if (FReading || AvailableBytes() == 0 || !FOnPacket)
        return;
    try {
        FOnPacket(*this);
    } catch (const std::exception& error) {
        // A failing handler ends the capture; nothing more is delivered.
        Stop();
        if (FOnError)
            FOnError(error.what());
    }
}
