#include "PrivateSoundDevice.h"

#include "audio/UnitCaptureSink.h"
#include "audio/UnitQtAudioFormat.h"

#include <QAudioSource>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMediaDevices>

#include <algorithm>
#include <chrono>
#include <unistd.h>

namespace {
QString Pactl(const QStringList& arguments) {
    QProcess pactl;
    pactl.start("pactl", arguments);
    pactl.waitForFinished(5000);
    return QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
}

QJsonArray PactlList(const QString& what) {
    return QJsonDocument::fromJson(Pactl({"-f", "json", "list", what}).toUtf8()).array();
}

QAudioDevice FindDevice(const QList<QAudioDevice>& devices, const QString& name) {
    for (const QAudioDevice& device : devices)
        if (device.id() == name.toUtf8())
            return device;
    return {};
}
} // namespace

double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {
// Several devices of one test program each get a sink of their own.
QString NewSinkName() {
    static int made = 0;
    return QString("nelq_out_%1_%2").arg(::getpid()).arg(made++);
}
} // namespace

TPrivateSoundDevice::TPrivateSoundDevice(int channels)
    : FSinkName(NewSinkName()), FSourceName(FSinkName + "_mic") {
    const QString channelCount = "channels=" + QString::number(channels);
    FModules << Pactl({"load-module", "module-null-sink", "sink_name=" + FSinkName, channelCount});
    // The source too: PipeWire remaps to stereo unless told.
    FModules << Pactl({"load-module", "module-remap-source", "master=" + FSinkName + ".monitor",
                       "source_name=" + FSourceName, channelCount});
    // Silence at low latency stops the idle sink from rendering seconds ahead.
    FSilence.start("pacat", {"--playback", "-d", FSinkName, "--raw", "--format=s16le",
                             "--rate=44100", "--channels=2", "--latency-msec=20", "/dev/zero"});
    const auto sinkLatency = [this] {
        for (const auto& sink : PactlList("sinks"))
            if (sink.toObject()["name"].toString() == FSinkName)
                return sink.toObject()["latency"].toObject()["actual"].toDouble();
        return 1e9;
    };
    PumpUntil([&] { return sinkLatency() < 100000 && !Output().isNull() && !Monitor().isNull(); },
              10000);
}

TPrivateSoundDevice::~TPrivateSoundDevice() {
    FSilence.kill();
    FSilence.waitForFinished(5000);
    for (auto module = FModules.crbegin(); module != FModules.crend(); ++module)
        Pactl({"unload-module", *module});
}

QAudioDevice TPrivateSoundDevice::Output() const {
    return FindDevice(QMediaDevices::audioOutputs(), FSinkName);
}

QAudioDevice TPrivateSoundDevice::Monitor() const {
    return FindDevice(QMediaDevices::audioInputs(), FSourceName);
}

QString TPrivateSoundDevice::PlayingStreamFormat() const {
    QString sinkIndex;
    for (const auto& sink : PactlList("sinks"))
        if (sink.toObject()["name"].toString() == FSinkName)
            sinkIndex = QString::number(sink.toObject()["index"].toInt());
    for (const auto& input : PactlList("sink-inputs")) {
        const QJsonObject stream = input.toObject();
        const bool silence =
            stream["properties"].toObject()["application.process.binary"].toString() == "pacat";
        if (!silence && QString::number(stream["sink"].toInt()) == sinkIndex)
            return stream["sample_specification"].toString();
    }
    return {};
}

TMonitorCapture::TMonitorCapture(const QAudioDevice& monitor) {
    FSink = std::make_unique<TCaptureSink>(
        [this](const uint8_t* data, size_t length) { Take(data, length); });
    FSource = std::make_unique<QAudioSource>(monitor, PcmAudioFormat(Rate, 16, 2));
    FSource->setBufferSize(Rate * 4 / 50); // 20 ms: chunks arrive soon after they leave the sink
    FSource->start(FSink.get());
}

TMonitorCapture::~TMonitorCapture() {
    FSource->stop();
}

void TMonitorCapture::Take(const uint8_t* data, size_t length) {
    const double now = SteadySeconds();
    FPartialFrame.insert(FPartialFrame.end(), data, data + length);
    const size_t frames = FPartialFrame.size() / 4;
    for (size_t i = 0; i < frames; ++i)
        FSamples.push_back(
            static_cast<int16_t>(FPartialFrame[i * 4] | (FPartialFrame[i * 4 + 1] << 8)));
    FPartialFrame.erase(FPartialFrame.begin(),
                        FPartialFrame.begin() + static_cast<long>(frames * 4));
    FFrameZero = std::min(FFrameZero, now - static_cast<double>(FSamples.size()) / Rate);
}
