#pragma once

#include "EventWait.h"

#include <QAudioDevice>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

class QAudioSource;
class TCaptureSink;

// A null sink and a capturable source of its monitor, loaded into the test
// sound server for one test, so that nothing else playing there is heard.
// A mono device lets a mono stream through without channel mixing, whose
// levels differ between servers (PulseAudio averages the channels, PipeWire
// adds them at -3 dB).
class TPrivateSoundDevice {
public:
    explicit TPrivateSoundDevice(int channels = 2);
    ~TPrivateSoundDevice();

    QAudioDevice Output() const; // the sink, as Qt lists it
    QAudioDevice Monitor() const;
    // The sink's name for the sound server's own tools (paplay -d).
    const QString& SinkName() const { return FSinkName; }
    // The sample format of the stream playing into the sink, e.g.
    // "s16le 1ch 22050Hz"; empty when none plays.
    QString PlayingStreamFormat() const;

private:
    QString FSinkName, FSourceName;
    QStringList FModules;
    QProcess FSilence;
};

// What the sink's monitor hears, 44100 Hz stereo, first channel kept, with the
// arrival time of every chunk to place it in time.
class TMonitorCapture {
public:
    static constexpr int Rate = 44100;

    explicit TMonitorCapture(const QAudioDevice& monitor);
    ~TMonitorCapture();

    const std::vector<int16_t>& Samples() const { return FSamples; }
    // When captured frame 0 left the sink, in SteadySeconds: a chunk arrives
    // after its last frame left, so the earliest bound over all chunks is the
    // closest.
    double FrameZeroSeconds() const { return FFrameZero; }

private:
    void Take(const uint8_t* data, size_t length);

    std::vector<int16_t> FSamples;
    std::vector<uint8_t> FPartialFrame;
    double FFrameZero = 1e300;
    std::unique_ptr<TCaptureSink> FSink;
    std::unique_ptr<QAudioSource> FSource;
};

double SteadySeconds();
