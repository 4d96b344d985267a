#pragma once

#include "audio/UnitAudioQuality.h"
#include "audio/UnitWaveInBuffers.h"

#include <QAudioDevice>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QAudioSource;
class TCaptureSink;

// Capture method 1: a ring of `NumBuffers` buffers of `BufferSize` bytes; every
// filled buffer is handed to `OnBufferFull` on the main thread, in order, and
// then queued again. The sizes can change only while not started.
class TACMIn : public QObject {
public:
    using TBufferFullEvent = std::function<void(TACMIn& sender, uint8_t* data, int count)>;
    using TErrorEvent = std::function<void(const std::string& message)>;

    // A null device means the default capture device.
    explicit TACMIn(const QAudioDevice& device = QAudioDevice());
    ~TACMIn() override;

    void SetBufferSize(int32_t bytes);
    int32_t BufferSize() const { return FBufferSize; }
    void SetNumBuffers(uint8_t count);
    uint8_t NumBuffers() const { return FNumBuffers; }
    void SetOnBufferFull(TBufferFullEvent handler) { FOnBufferFull = std::move(handler); }
    // Where a failing handler is reported; the capture has stopped by then.
    void SetOnError(TErrorEvent handler) { FOnError = std::move(handler); }

    void Open(const TRecordingFormat& format);
    void Start();
    void Stop();
    bool Opened() const { return FOpened; }
    bool Started() const { return FStarted; }
    // Audio that arrived while every buffer was waiting for the main thread.
    uint64_t LostBytes() const { return FBuffers ? FBuffers->LostBytes() : 0; }

private:
    void DeliverFilled();
    void Release();

    QAudioDevice FDevice;
    int32_t FBufferSize = 8192;
    uint8_t FNumBuffers = 4;
    bool FOpened = false;
    bool FStarted = false;
    std::unique_ptr<QAudioSource> FSource;
    std::unique_ptr<TWaveInBuffers> FBuffers;
    std::unique_ptr<TCaptureSink> FSink;
    TBufferFullEvent FOnBufferFull;
    TErrorEvent FOnError;
};
