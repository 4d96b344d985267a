#include "audio/UnitACMIn.h"

#include "audio/UnitCaptureErrors.h"
#include "audio/UnitCaptureSink.h"
#include "audio/UnitQtAudioFormat.h"

#include <QAudioSource>
#include <QMediaDevices>

#include <vector>

TACMIn::TACMIn(const QAudioDevice& device)
    : FDevice(device.isNull() ? QMediaDevices::defaultAudioInput() : device) {}

TACMIn::~TACMIn() {
    Stop();
    Release();
}

void TACMIn::SetBufferSize(int32_t bytes) {
    if (!FStarted && bytes > 0)
        FBufferSize = bytes;
}

void TACMIn::SetNumBuffers(uint8_t count) {
    if (!FStarted && count > 0)
        FNumBuffers = count;
}

void TACMIn::Open(const TRecordingFormat& format) {
    if (FOpened)
        return;
    if (FDevice.isNull())
        throw EACMIn("WaveIn-Open", WaveInBadDeviceId);
    const QAudioFormat qtFormat = PcmAudioFormat(static_cast<int32_t>(format.SamplesPerSec),
                                                 format.BitsPerSample, format.Channels);
    if (format.FormatTag != 1 || qtFormat.sampleFormat() == QAudioFormat::Unknown ||
        !FDevice.isFormatSupported(qtFormat))
        throw EACMIn("WaveIn-Open", WaveInBadFormat);
    FSource = std::make_unique<QAudioSource>(FDevice, qtFormat);
    FOpened = true;
}

void TACMIn::Start() {
    if (FStarted || !FOpened)
        return;
    FBuffers = std::make_unique<TWaveInBuffers>(static_cast<size_t>(FBufferSize), FNumBuffers);
    FSink = std::make_unique<TCaptureSink>([this](const uint8_t* data, size_t length) {
        // Hand full buffers over through the event loop, never from inside the device's feed.
        if (FBuffers->Write(data, length))
            QMetaObject::invokeMethod(
                this, [this] { DeliverFilled(); }, Qt::QueuedConnection);
    });
    FSource->start(FSink.get());
    if (FSource->error() != QAudio::NoError || FSource->state() == QAudio::StoppedState) {
        FSource->stop();
        FSink.reset();
        FBuffers.reset();
        throw EACMIn("WaveIn-Start", WaveInAllocated);
    }
    FStarted = true;
}

void TACMIn::Stop() {
    if (!FStarted || !FOpened)
        return;
    FStarted = false;
    FOpened = false;
    FSource->stop();
    Release();
}

void TACMIn::Release() {
    FSource.reset();
    FSink.reset();
    FBuffers.reset();
}

void TACMIn::DeliverFilled() {
    std::vector<uint8_t> buffer;
    while (FStarted && FBuffers->TakeFilled(buffer)) {
        try {
            if (FOnBufferFull)
                FOnBufferFull(*this, buffer.data(), static_cast<int>(buffer.size()));
        } catch (const std::exception& error) {
            Stop();
            if (FOnError)
                FOnError(error.what());
            return;
        }
        if (!FStarted)
            return; // the handler stopped the capture
        FBuffers->Requeue(std::move(buffer));
    }
}
