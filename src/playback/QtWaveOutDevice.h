#pragma once

#include "playback/WaveOutDevice.h"

#include <QAudioDevice>
#include <QObject>
#include <QTimer>

#include <memory>

class QAudioSink;
class TQtWaveOutStream;

// The wave output over Qt Multimedia: an audio sink in pull mode reads the
// written buffers; a buffer counts as played once the sink's position has
// passed its end.
class TQtWaveOutDevice : public TWaveOutDevice {
public:
    // A null device means the default output device at the time of opening.
    explicit TQtWaveOutDevice(const QAudioDevice& device = QAudioDevice());
    ~TQtWaveOutDevice() override;

    int Query(const TWaveFormat& format) override;
    int Open(const TWaveFormat& format, TBufferDone onBufferDone) override;
    int Close() override;
    void Reset() override;
    int Write(const uint8_t* data, size_t length) override;
    int Position(int64_t& frames) override;
    int SetVolume(uint32_t volume) override;
    void Post(std::function<void()> task) override;

    // The format the sink plays, for checks.
    const TWaveFormat& Format() const { return FFormat; }

private:
    QAudioDevice OutputDevice() const;
    int StartSink();
    int64_t PlayedFrames();
    void ReportPlayed();

    QAudioDevice FDevice;
    TWaveFormat FFormat;
    TBufferDone FOnBufferDone;
    double FVolume = 1.0;
    int64_t FLastPlayed = 0; // frames; the position never goes back until a reset
    double FClockPlayed = 0; // frames the clock allowed at the last poll
    double FPolledAt = 0;    // steady seconds of the last poll
    double FDrySince = -1;   // steady seconds when the sink had taken every byte, or -1
    int64_t FPlayedWhenDry = 0;
    std::shared_ptr<int> FAlive = std::make_shared<int>(0); // gone with the device
    QObject FContext;                                       // posted tasks die with the device
    QTimer FPlayedPoll;
    std::unique_ptr<TQtWaveOutStream> FStream;
    std::unique_ptr<QAudioSink> FSink;
};
