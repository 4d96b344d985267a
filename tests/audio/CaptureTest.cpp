#include "OggFileCheck.h"
#include "PrivateSoundDevice.h"
#include "QtTestApplication.h"

#include "audio/UnitACMIn.h"
#include "audio/UnitAudioCapture.h"
#include "audio/UnitCaptureErrors.h"
#include "audio/UnitEncodingThread.h"
#include "audio/UnitSoundCaptureStream.h"
#include "platform/PumpedSyncContext.h"

#include <QElapsedTimer>
#include <QProcess>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {
constexpr double ToneHz = 441;
constexpr double ToneSeconds = 1.5;
constexpr double ToneAmplitude = 12000;
constexpr double FadeSeconds = 0.05;

void SkipWithoutTestAudio() {
    if (qEnvironmentVariableIsEmpty("NELQ_TEST_AUDIO"))
        GTEST_SKIP() << "needs the test audio environment (scripts/test-env)";
}

// 44.1 kHz stereo tone with short fades, so that only a fault in the captured
// stream can make it jump.
void WriteToneWav(const fs::path& path) {
    const int rate = 44100;
    const auto frames = static_cast<uint32_t>(rate * ToneSeconds);
    const auto fadeFrames = static_cast<uint32_t>(rate * FadeSeconds);
    std::ofstream out(path, std::ios::binary);
    auto put32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    put32(36 + frames * 4);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(2);
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    out.write("data", 4);
    put32(frames * 4);
    for (uint32_t i = 0; i < frames; ++i) {
        const uint32_t edge = std::min(i, frames - 1 - i);
        const double fade =
            edge < fadeFrames ? 0.5 - 0.5 * std::cos(M_PI * edge / fadeFrames) : 1.0;
        const auto sample = static_cast<int16_t>(
            std::lround(ToneAmplitude * fade * std::sin(2 * M_PI * ToneHz * i / rate)));
        put16(static_cast<uint16_t>(sample));
        put16(static_cast<uint16_t>(sample));
    }
}

// What the captured first channel says about the tone.
struct TToneFindings {
    double Frequency = 0;
    double Amplitude = 0;
    double Seconds = 0;   // between the fades' half-amplitude points
    double WorstJump = 0; // largest deviation from a pure sine, relative to its amplitude
};

TToneFindings AnalyseTone(const std::vector<int16_t>& samples, int rate) {
    TToneFindings findings;
    for (int16_t sample : samples)
        findings.Amplitude = std::max(findings.Amplitude, std::abs(static_cast<double>(sample)));
    const double half = findings.Amplitude / 2;
    // Envelope: the peak of each period-long window.
    const int period = static_cast<int>(std::lround(rate / ToneHz));
    long first = -1, last = -1;
    for (long i = 0; i + period < static_cast<long>(samples.size()); i += period) {
        int peak = 0;
        for (int k = 0; k < period; ++k)
            peak = std::max(peak, std::abs(static_cast<int>(samples[static_cast<size_t>(i + k)])));
        if (peak > half) {
            if (first < 0)
                first = i;
            last = i + period;
        }
    }
    if (first < 0)
        return findings;
    findings.Seconds = static_cast<double>(last - first) / rate;

    // Steady part, clear of the fades.
    const long margin = static_cast<long>(2 * FadeSeconds * rate);
    const long from = first + margin, to = last - margin;
    int crossings = 0;
    const double twoCos = 2 * std::cos(2 * M_PI * ToneHz / rate);
    for (long i = from + 1; i + 1 < to; ++i) {
        const double previous = samples[static_cast<size_t>(i - 1)],
                     now = samples[static_cast<size_t>(i)];
        if ((previous < 0) != (now < 0))
            ++crossings;
        // A pure sine satisfies x[n+1] = 2 cos(w) x[n] - x[n-1]; a gap or a
        // repeat breaks it.
        const double residual = samples[static_cast<size_t>(i + 1)] - twoCos * now + previous;
        findings.WorstJump = std::max(findings.WorstJump, std::abs(residual) / findings.Amplitude);
    }
    findings.Frequency = crossings / 2.0 / (static_cast<double>(to - from) / rate);
    return findings;
}

void PumpFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        SkipWithoutTestAudio();
        TestApplication();
        Directory = fs::temp_directory_path() /
                    ("nelq-capture-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Directory);
        fs::create_directories(Directory);
    }
    void TearDown() override { fs::remove_all(Directory); }

    // Captures a played tone with the given method and quality through to the
    // encoder; returns the first channel of what was queued.
    void CaptureTone(int recordingType, int audioIndex) {
        const TAudioQuality& quality = AudioQuality(audioIndex);
        const fs::path wav = Directory / "tone.wav";
        WriteToneWav(wav);

        const TPrivateSoundDevice device;
        ASSERT_FALSE(device.Monitor().isNull());
        PumpedSyncContext sync;
        auto encoder = MakeOwnedThread<TEncodingThread>(sync, Directory.string() + "/", audioIndex);
        TAudioCapture capture(recordingType, device.Monitor());
        capture.SelectRecordingFormat(audioIndex);
        capture.SetEncoder(encoder.get());
        const auto mainThread = std::this_thread::get_id();
        int packets = 0, offMainThread = 0;
        capture.SetMixHook([&](uint8_t* data, int size) {
            ++packets;
            offMainThread += std::this_thread::get_id() != mainThread;
            for (int at = 0; at + 1 < size; at += 2 * quality.Channels)
                Captured.push_back(static_cast<int16_t>(data[at] | (data[at + 1] << 8)));
        });
        encoder->Start();
        capture.Start();
        ASSERT_TRUE(capture.Running());

        PumpFor(300); // nothing is filmed yet: captured audio is dropped
        EXPECT_EQ(packets, 0);
        {
            TBlockQueueLock lock(*encoder);
            EXPECT_EQ(lock.Blocks().Count(), 0);
        }

        capture.SetCaptureSection(0);
        {
            TBlockQueueLock lock(*encoder);
            lock.Blocks().AddInfo(0, InfoCompleteSection);
            lock.Blocks().AddInfo(0, InfoCreateSection);
        }
        QProcess player;
        player.start("paplay", {"-d", device.SinkName(), QString::fromStdString(wav.string())});
        ASSERT_TRUE(player.waitForStarted(5000));
        QElapsedTimer timer;
        timer.start();
        while (player.state() != QProcess::NotRunning && timer.elapsed() < 15000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();
        PumpFor(600); // the tail of the tone
        capture.Stop();

        EXPECT_GT(packets, 10);
        EXPECT_EQ(offMainThread, 0);
        {
            TBlockQueueLock lock(*encoder);
            lock.Blocks().AddInfo(0, InfoCompleteSection);
            lock.Blocks().AddBlock(BlockKindAudio, 0, 0, nullptr);
        }
        ASSERT_TRUE(sync.PumpUntil([&] { return encoder->Finished(); }, std::chrono::seconds(10)));
        ExpectValidSection((Directory / "stream_0.ogg").string(), quality.Rate, quality.Channels,
                           static_cast<int64_t>(Captured.size()));

        const TToneFindings tone = AnalyseTone(Captured, quality.Rate);
        RecordProperty("ToneFrequency", std::to_string(tone.Frequency));
        RecordProperty("WorstJump", std::to_string(tone.WorstJump));
        std::printf("method %d, %d Hz: %d packets, tone %.2f Hz, amplitude %.0f, over %.3f s, "
                    "worst deviation %.4f of the amplitude\n",
                    recordingType, quality.Rate, packets, tone.Frequency, tone.Amplitude,
                    tone.Seconds, tone.WorstJump);
        EXPECT_NEAR(tone.Frequency, ToneHz, ToneHz * 0.005);
        // Nothing missing, nothing repeated: the fades reach half their
        // amplitude half-way through.
        EXPECT_NEAR(tone.Seconds, ToneSeconds - FadeSeconds, 0.02);
        EXPECT_LT(tone.WorstJump, 0.05);
    }

    fs::path Directory;
    std::vector<int16_t> Captured;
};
} // namespace

TEST_F(CaptureTest, PolledStreamDeliversTheToneWithoutGaps) {
    CaptureTone(0, 5);
}

TEST_F(CaptureTest, BufferedComponentDeliversTheToneWithoutGaps) {
    CaptureTone(1, 4);
}

TEST_F(CaptureTest, PolledStreamHasNo16000HzFormat) {
    for (int audioIndex : {3, 4}) {
        TAudioCapture capture(0);
        try {
            capture.SelectRecordingFormat(audioIndex);
            ADD_FAILURE() << "entry " << audioIndex << " was accepted";
        } catch (const std::runtime_error& error) {
            const std::string expected = "Unable to find a directsound recording format for "
                                         "requested audio rate (16000, 16, " +
                                         std::to_string(audioIndex - 2) + ")";
            EXPECT_EQ(error.what(), expected);
        }
    }
    TSoundCaptureStream stream;
    EXPECT_EQ(stream.Formats().size(), 7u * 3u * 2u); // every probed rate, in 8, 16 and 32 bits
    EXPECT_EQ(stream.FindFormat(22050, 16, 1), 2 * 6 + 2);
    EXPECT_EQ(stream.FindFormat(44100, 24, 2), -1);
}

TEST_F(CaptureTest, PolledStreamReadStartsCaptureAndDeliversTheCountAsked) {
    TSoundCaptureStream stream;
    stream.SetFormatIndex(stream.FindFormat(11025, 16, 1));
    std::vector<uint8_t> buffer(11025, 0xEE); // half a second
    EXPECT_EQ(stream.Read(buffer.data(), buffer.size()), buffer.size());
    EXPECT_TRUE(stream.Active());
    EXPECT_EQ(stream.BufferSize(), 22050u); // one second by default
    stream.Stop();
    EXPECT_EQ(stream.AvailableBytes(), 0u);
}

TEST_F(CaptureTest, BufferedComponentSizesAreFixedOnceStarted) {
    TACMIn component;
    component.SetBufferSize(4096);
    component.SetNumBuffers(16);
    std::vector<int> sizes;
    component.SetOnBufferFull([&](TACMIn&, uint8_t*, int count) { sizes.push_back(count); });
    component.Open(MakeRecordingFormat(AudioQualities[0]));
    component.Start();
    component.SetBufferSize(100);
    component.SetNumBuffers(1);
    EXPECT_EQ(component.BufferSize(), 4096);
    EXPECT_EQ(component.NumBuffers(), 16);
    PumpFor(1000); // 22050 bytes a second: about five buffers
    component.Stop();
    EXPECT_FALSE(component.Opened());
    ASSERT_GE(sizes.size(), 3u);
    for (int size : sizes)
        EXPECT_EQ(size, 4096);

    TRecordingFormat notPcm = MakeRecordingFormat(AudioQualities[0]);
    notPcm.FormatTag = 2;
    try {
        component.Open(notPcm);
        ADD_FAILURE() << "a compressed format was accepted";
    } catch (const EACMIn& error) {
        EXPECT_STREQ(error.what(), "WaveIn-Open Unsupported audio format.");
    }
}

TEST_F(CaptureTest, AFailingPacketHandlerStopsTheCaptureAndIsReported) {
    TSoundCaptureStream stream;
    stream.SetFormatIndex(stream.FindFormat(11025, 16, 1));
    TACMIn component;
    component.SetBufferSize(2048);
    component.Open(MakeRecordingFormat(AudioQualities[0]));
    std::vector<std::string> errors;
    const auto report = [&](const std::string& message) { errors.push_back(message); };
    stream.SetOnError(report);
    component.SetOnError(report);
    stream.SetOnPacket(
        [](TSoundCaptureStream&) { throw std::runtime_error("stream handler failed"); });
    component.SetOnBufferFull(
        [](TACMIn&, uint8_t*, int) { throw std::runtime_error("component handler failed"); });
    stream.Start();
    component.Start();

    QElapsedTimer timer;
    timer.start();
    while ((stream.Active() || component.Started()) && timer.elapsed() < 5000)
        PumpFor(20);
    EXPECT_FALSE(stream.Active());
    EXPECT_FALSE(component.Started());
    std::sort(errors.begin(), errors.end());
    EXPECT_EQ(errors,
              (std::vector<std::string>{"component handler failed", "stream handler failed"}));
}
