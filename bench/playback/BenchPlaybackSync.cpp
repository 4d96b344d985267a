// Sync quality as the viewer feels it: a cast whose recording runs longer or
// shorter than its commentary in places plays through the private sound
// server while the game's demo clock drifts by +2 %, 0 % and -2 %. Every
// 100 ms the benchmark takes the signed difference between the game's demo
// clock and the demo time that belongs to the audio heard (the device's
// played position). Each drift runs with drift correction and without.
//
//   bench_playback_sync [--seconds S]      (default 180: the cast's length)
//
// Needs a sound device (source scripts/test-env start).

#include "CastSections.h"
#include "InProcessGame.h"

#include "playback/CastAssembler.h"
#include "playback/PlaybackSync.h"
#include "playback/QtWaveOutDevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t SectionAudioMs = 10000;
// How far each section's recording runs past (or short of) its commentary.
constexpr std::int32_t DemoOverrunMs[] = {0, 600, -600, 0, 1000, -1000};
constexpr double SettledWithinMs = 250;

struct TSample {
    double Seconds; // since the game's first report
    double DifferenceMs;
};

struct TFigures {
    bool Converged = false;
    double ConvergeSeconds = 0;
    double LeadMs = 0;
    double P95Ms = 0;
    double MaxMs = 0;
    int Launches = 0;
};

double Mean(const std::vector<TSample>& samples, std::size_t from) {
    double sum = 0;
    for (std::size_t i = from; i < samples.size(); ++i)
        sum += samples[i].DifferenceMs;
    return sum / static_cast<double>(samples.size() - from);
}

// Converged from the first sample on which every later one stays within
// SettledWithinMs of their own mean.
TFigures Evaluate(const std::vector<TSample>& samples) {
    TFigures figures;
    if (samples.size() < 10)
        return figures;
    std::size_t from = samples.size() / 2;
    for (std::size_t i = 0; i + 10 < samples.size(); ++i) {
        const double mean = Mean(samples, i);
        const bool settled = std::all_of(
            samples.begin() + static_cast<std::ptrdiff_t>(i), samples.end(),
            [&](const TSample& s) { return std::abs(s.DifferenceMs - mean) <= SettledWithinMs; });
        if (settled) {
            figures.Converged = true;
            from = i;
            break;
        }
    }
    figures.ConvergeSeconds = samples[from].Seconds;
    figures.LeadMs = Mean(samples, from);
    std::vector<double> distances;
    for (std::size_t i = from; i < samples.size(); ++i)
        distances.push_back(std::abs(samples[i].DifferenceMs - figures.LeadMs));
    std::sort(distances.begin(), distances.end());
    figures.P95Ms = distances[static_cast<std::size_t>(0.95 * double(distances.size() - 1))];
    figures.MaxMs = distances.back();
    return figures;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The cast as the viewer thread leaves it on disk: the first demo part whole,
// the others from their body offset on (one rebuilt recording).
std::int32_t StoreCast(const fs::path& work, const fs::path& castDirectory, int seconds) {
    const std::int32_t sections =
        std::max(3, (seconds * 1000 + SectionAudioMs - 1) / SectionAudioMs);
    for (std::int32_t n = 0; n < sections; ++n) {
        const std::int32_t overrun = DemoOverrunMs[n % std::size(DemoOverrunMs)];
        const TCastSection section = MakeCastSection(
            work, n, static_cast<std::uint32_t>(SectionAudioMs + overrun), SectionAudioMs);
        const std::string name = std::to_string(n);
        WriteFile(castDirectory / ("demo_" + name + ".rec"),
                  n == 0 ? section.Demo : section.Demo.substr(section.BodyOffset));
        WriteFile(castDirectory / ("audio_" + name + ".ogg"), section.Audio);
    }
    return sections;
}

TFigures PlayOnce(const fs::path& castDirectory, const fs::path& gameDirectory,
                  std::int32_t sections, double drift, bool correction, int seconds) {
    fs::remove_all(gameDirectory);
    fs::create_directories(gameDirectory / "NELQ/recordings");
    TAssemblySettings settings;
    settings.CastDirectory = castDirectory.string() + "/";
    settings.GameDirectory = gameDirectory.string() + "/";
    TCastAssembler assembler;
    assembler.StartPlayback = [](std::int32_t) {};
    assembler.ShowBufferLabel = [](const std::string&) {};
    assembler.ReportNothingToPlay = [](const std::string&) {};
    assembler.BeginRun(settings);
    for (std::int32_t n = 0; n < sections; ++n)
        assembler.SectionComplete(n, 0);
    assembler.StreamsEndedHandler();

    TInProcessGame game(settings.GameDirectory, drift);
    TAssembledCast cast(assembler);
    TPlaybackSync sync(
        cast, game, {settings.CastDirectory, settings.GameDirectory, false},
        {[&game](std::int32_t demo) { game.Launch(demo); }, [](bool) {},
         [](const std::string& message) { std::fprintf(stderr, "error: %s\n", message.c_str()); }},
        [] { return std::make_unique<TQtWaveOutDevice>(); });
    sync.SetDriftCorrection(correction);
    if (!sync.StartPlayback(0))
        return {};
    sync.RestartAudio();

    std::vector<TSample> samples;
    QElapsedTimer reporting;
    QElapsedTimer running;
    running.start();
    QTimer tick, frame, sample;
    QObject::connect(&tick, &QTimer::timeout, [&] { sync.Tick(); });
    QObject::connect(&frame, &QTimer::timeout, [&] { game.Frame(); });
    QObject::connect(&sample, &QTimer::timeout, [&] {
        const std::int64_t heard = sync.HeardAudioTime();
        if (!game.GameWindowExists() || heard < 0)
            return;
        const std::int64_t audioDemo = sync.EstimateDemoTime(heard);
        if (audioDemo < 0)
            return;
        if (!reporting.isValid())
            reporting.start();
        samples.push_back(
            {reporting.elapsed() / 1000.0, static_cast<double>(game.DemoClockMs() - audioDemo)});
    });
    tick.start(TPlaybackSync::TickMs);
    frame.start(10);
    sample.start(100);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const bool over = game.Launches() > 0 && !game.GameWindowExists();
        if (over || running.elapsed() > (seconds + 30) * 1000LL)
            QCoreApplication::exit();
    });
    watch.start(50);
    QCoreApplication::exec();

    TFigures figures = Evaluate(samples);
    figures.Launches = game.Launches();
    return figures;
}

void Print(double drift, bool correction, const TFigures& figures) {
    std::printf("drift %+4.1f %%  correction %-3s  ", drift * 100, correction ? "on" : "off");
    if (figures.Launches == 0) {
        std::printf("the game never started\n");
        return;
    }
    std::printf("lead %7.0f ms   p95 %5.0f ms   max %5.0f ms   ", figures.LeadMs, figures.P95Ms,
                figures.MaxMs);
    if (figures.Converged)
        std::printf("converged after %5.1f s\n", figures.ConvergeSeconds);
    else
        std::printf("never within %.0f ms (figures over the second half)\n", SettledWithinMs);
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 180;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--seconds" && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_playback_sync [--seconds S]\n");
            return 2;
        }
    }
    if (seconds < 30) {
        std::fprintf(stderr, "a cast shorter than 30 s leaves nothing to measure\n");
        return 2;
    }
    QCoreApplication application(argc, argv);
    if (QMediaDevices::audioOutputs().isEmpty()) {
        std::fprintf(stderr, "no sound device (source scripts/test-env start)\n");
        return 1;
    }
    const fs::path root =
        fs::temp_directory_path() / ("nelq-bench-sync-" + std::to_string(::getpid()));
    fs::create_directories(root / "work");
    fs::create_directories(root / "cast");
    const std::int32_t sections = StoreCast(root / "work", root / "cast", seconds);
    std::printf("cast: %d sections of %d s audio, recordings running up to 10 %% longer or "
                "shorter; samples every 100 ms; settled = within %.0f ms of the lead\n",
                sections, SectionAudioMs / 1000, SettledWithinMs);
    for (const double drift : {0.02, 0.0, -0.02})
        for (const bool correction : {true, false})
            Print(drift, correction,
                  PlayOnce(root / "cast", root / "game", sections, drift, correction, seconds));
    fs::remove_all(root);
    return 0;
}
