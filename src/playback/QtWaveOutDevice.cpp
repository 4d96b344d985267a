#include "playback/QtWaveOutDevice.h"

#include "audio/UnitQtAudioFormat.h"
#include "playback/QtWaveOutStream.h"
#include "playback/WaveOutErrors.h"

#include <QAudioSink>
#include <QMediaDevices>

#include <algorithm>
#include <chrono>

namespace {
// Often enough that a played buffer comes back within a fraction of a buffer.
constexpr int PlayedPollMilliseconds = 10;
// The sink's own buffer: the list of written buffers holds the rest, so a
// reset stops the sound within this time.
constexpr int SinkBufferMilliseconds = 400;
// How much faster than the steady clock the sound card's clock may run.
constexpr double FastestClock = 1.02;

double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QAudioFormat QtFormat(const TWaveFormat& format) {
    return PcmAudioFormat(format.Rate, format.Bits, format.Channels());
}
} // namespace

TQtWaveOutDevice::TQtWaveOutDevice(const QAudioDevice& device) : FDevice(device) {
    FPlayedPoll.setInterval(PlayedPollMilliseconds);
    QObject::connect(&FPlayedPoll, &QTimer::timeout, &FContext, [this] { ReportPlayed(); });
}

TQtWaveOutDevice::~TQtWaveOutDevice() {
    Close();
}

QAudioDevice TQtWaveOutDevice::OutputDevice() const {
    return FDevice.isNull() ? QMediaDevices::defaultAudioOutput() : FDevice;
}

int TQtWaveOutDevice::Query(const TWaveFormat& format) {
    const QAudioDevice device = OutputDevice();
    if (device.isNull())
        return WaveOutNoDevice;
    const QAudioFormat qtFormat = QtFormat(format);
    if (qtFormat.sampleFormat() == QAudioFormat::Unknown || !device.isFormatSupported(qtFormat))
        return WaveOutBadFormat;
    return WaveOutNoError;
}

int TQtWaveOutDevice::Open(const TWaveFormat& format, TBufferDone onBufferDone) {
    if (FSink)
        return WaveOutFailed;
    if (const int code = Query(format))
        return code;
    FFormat = format;
    FOnBufferDone = std::move(onBufferDone);
    FLastPlayed = 0;
    FClockPlayed = 0;
    FPolledAt = SteadySeconds();
    FDrySince = -1;
    FStream = std::make_unique<TQtWaveOutStream>();
    FSink = std::make_unique<QAudioSink>(OutputDevice(), QtFormat(format));
    FSink->setVolume(FVolume);
    if (const int code = StartSink()) {
        Close();
        return code;
    }
    return WaveOutNoError;
}

int TQtWaveOutDevice::StartSink() {
    // Each start opens a new sound-server stream, and the sink keeps the
    // length the server granted the last one as its next request: asked
    // again, the server grants less each time, until the buffer holds less
    // than one of the sink's reads and it stops playing. Ask for the full
    // size every time.
    FSink->setBufferSize(FFormat.BytesPerSecond() * SinkBufferMilliseconds / 1000);
    FSink->start(FStream.get());
    switch (FSink->error()) {
    case QAudio::NoError:
    case QAudio::UnderrunError:
        return WaveOutNoError;
    case QAudio::FatalError:
        return WaveOutServerFailed;
    default:
        return WaveOutFailed;
    }
}

int TQtWaveOutDevice::Close() {
    if (!FSink)
        return WaveOutNotOpen;
    FPlayedPoll.stop();
    FSink->stop();
    FSink.reset();
    FStream.reset();
    return WaveOutNoError;
}

void TQtWaveOutDevice::Reset() {
    if (!FSink)
        return;
    FPlayedPoll.stop();
    // Stopping drops what the sound server still holds; the new stream counts from 0.
    FSink->stop();
    FStream->Clear();
    FLastPlayed = 0;
    FClockPlayed = 0;
    FPolledAt = SteadySeconds();
    FDrySince = -1;
    StartSink();
}

int TQtWaveOutDevice::Write(const uint8_t* data, size_t length) {
    if (!FSink)
        return WaveOutNotOpen;
    if (FSink->state() == QAudio::StoppedState && StartSink() != WaveOutNoError)
        return WaveOutWriteFailed;
    FStream->Append(data, length);
    FDrySince = -1;
    FPlayedPoll.start();
    return WaveOutNoError;
}

int64_t TQtWaveOutDevice::PlayedFrames() {
    // The sink reports what has left the sound server's buffers, never more
    // than it has been given.
    const int64_t handed = FStream->HandedBytes() / FFormat.BlockAlign();
    int64_t played = FSink->processedUSecs() * FFormat.Rate / 1000000;
    // Once the sink has taken every byte its report stops short of the end by
    // the server's latency; what the server still holds plays out in real time.
    if (FStream->bytesAvailable() > 0) {
        FDrySince = -1;
    } else if (FDrySince < 0) {
        FDrySince = SteadySeconds();
        FPlayedWhenDry = played;
    } else {
        const auto sinceDry = static_cast<int64_t>((SteadySeconds() - FDrySince) * FFormat.Rate);
        played = std::max(played, FPlayedWhenDry + sinceDry);
    }
    // Now and then the sink's report leaps to all it has been given and holds
    // there until the sound catches up; sound never plays faster than the
    // clock, so neither does the position.
    const double now = SteadySeconds();
    const double clockLimit = FClockPlayed + (now - FPolledAt) * FFormat.Rate * FastestClock;
    FPolledAt = now;
    FLastPlayed = std::clamp<int64_t>(
        played, FLastPlayed,
        std::max(std::min(handed, static_cast<int64_t>(clockLimit)), FLastPlayed));
    // Kept in fractions: polls come far more often than frames.
    FClockPlayed = std::min(clockLimit, static_cast<double>(std::max(played, FLastPlayed)));
    return FLastPlayed;
}

int TQtWaveOutDevice::Position(int64_t& frames) {
    if (!FSink)
        return WaveOutNotOpen;
    if (FSink->error() == QAudio::FatalError)
        return WaveOutServerFailed;
    frames = PlayedFrames();
    return WaveOutNoError;
}

int TQtWaveOutDevice::SetVolume(uint32_t volume) {
    const uint32_t louder = std::max(volume & 0xFFFFu, volume >> 16);
    FVolume = louder / 65535.0;
    if (FSink)
        FSink->setVolume(FVolume);
    return WaveOutNoError;
}

void TQtWaveOutDevice::Post(std::function<void()> task) {
    QMetaObject::invokeMethod(&FContext, std::move(task), Qt::QueuedConnection);
}

void TQtWaveOutDevice::ReportPlayed() {
    // The handler may write, reset, close or even free its owner: look again
    // after each buffer.
    const std::weak_ptr<int> alive = FAlive;
    while (FSink && FStream->TakePlayed(PlayedFrames() * FFormat.BlockAlign())) {
        FOnBufferDone();
        if (alive.expired())
            return;
    }
    if (FSink && !FStream->HasBuffers())
        FPlayedPoll.stop();
}
