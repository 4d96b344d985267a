#pragma once

#include "audio/UnitCaptureRing.h"

#include <QAudioDevice>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAudioSource;
class TCaptureSink;

struct TSoundCaptureFormat {
    int32_t SamplesPerSec;
    int32_t BitsPerSample;
    int32_t Channels;
};
using TSoundCaptureFormats = std::vector<TSoundCaptureFormat>;

// Capture method 0: the device fills a circular buffer of `BufferTime`
// milliseconds, and a 50 ms poll on the main thread hands whatever has arrived
// to the packet event, which takes it with Read.
class TSoundCaptureStream : public QObject {
public:
    using TPacketEvent = std::function<void(TSoundCaptureStream& sender)>;
    using TErrorEvent = std::function<void(const std::string& message)>;

    // A null device means the default capture device. Probes the formats it takes.
    explicit TSoundCaptureStream(const QAudioDevice& device = QAudioDevice());
    ~TSoundCaptureStream() override;

    void SetBufferTime(int32_t milliseconds);
    int32_t BufferTime() const { return FBufferTime; }
    void SetOnPacket(TPacketEvent handler);
    // Where a failing packet event is reported; the capture has stopped by then.
    void SetOnError(TErrorEvent handler) { FOnError = std::move(handler); }

    const TSoundCaptureFormats& Formats() const { return FFormats; }
    int FindFormat(int32_t rate, int32_t bits, int32_t channels) const;
    void SetFormatIndex(int index) { FFormatIndex = index; }
    int FormatIndex() const { return FFormatIndex; }

    void Start();
    void Stop();
    bool Active() const { return FActive; }
    size_t BufferSize() const { return FRing ? FRing->Size() : 0; }

    size_t AvailableBytes() const { return FRing ? FRing->Available() : 0; }
    // Always delivers `count` bytes: waits for the device as long as it runs,
    // and fills with silence what it can no longer deliver.
    size_t Read(void* buffer, size_t count);

private:
    void ProbeFormats();
    void Poll();
    bool SourceRunning() const;

    QAudioDevice FDevice;
    int32_t FBufferTime = 1000;
    TSoundCaptureFormats FFormats;
    int FFormatIndex = 0;
    bool FActive = false;
    bool FReading = false; // a Read is waiting for the device: no polls meanwhile
    std::unique_ptr<TCaptureRing> FRing;
    std::unique_ptr<TCaptureSink> FSink;
    std::unique_ptr<QAudioSource> FSource;
    QTimer FNotify;
    TPacketEvent FOnPacket;
    TErrorEvent FOnError;
};
