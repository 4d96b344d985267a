// Sync quality as the viewer feels it: a cast whose recording runs longer or
// shorter than its commentary in places plays through the private sound
// server while the game's demo clock drifts by +2 %, 0 % and -2 %. Every
// 100 ms the benchmark takes the signed difference between the game's demo
// clock and the demo time that belongs to the audio heard (the device's
// played position). Each drift runs with drift correction and without.
// The sink's monitor tells whether that position is what was heard: at the
// game's launch the device is reset twice, and the first sound of the
// section started again must come when its position is 0, with nothing of
// the sound before the launch heard past its reset.
//
//   bench_playback_sync [--seconds S] [--drift P] [--overrun O] [--trace PREFIX]
//                       [--game in-process|linux|wine [--wine-cold]]
//
// S is the cast's length (default 180); P one drift in percent to run alone
// (default: +2, 0 and -2 one after the other); O how far, in percent, the
// recordings run longer or shorter than their commentary at most (default
// 10). With --trace every run's samples go to PREFIX<drift>-<on|off>.csv
// (seconds, difference in ms).
//
// --game linux or wine plays the game as a program of its own, the Linux
// stand-in or its Windows build under Wine in the build tree's prefix,
// started as the client starts it; its clock is then sampled at each of its
// progress reports, and each run also tells how long the launch took to show
// the window and to bring the first report. Under Wine a run finds the
// prefix's wineserver the run before left running (a warm start), unless
// --wine-cold ends it before every run. Only the Linux stand-in takes a
// drift (by default these runs have none).
//
// Needs a sound device and a display (source scripts/test-env start).

#include "BuildTree.h"
#include "CastSections.h"
#include "ExternalGame.h"
#include "InProcessGame.h"
#include "PrivateSoundDevice.h"
#include "WinePrefix.h"

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
#include <locale>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t SectionAudioMs = 10000;
// How far each section's recording runs past (or short of) its commentary,
// as a share of the largest overrun.
constexpr double DemoOverrunShare[] = {0, 0.6, -0.6, 0, 1, -1};
constexpr double SettledWithinMs = 250;
// Convergence is judged on means over this long: single samples swing by a
// frame or a tick, which says nothing about whether the clocks agree.
constexpr double WindowSeconds = 5;

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
    // At the launch, from the monitor: the position when the restarted
    // section was first heard, and how long the sound from before the
    // launch went on past its reset.
    double LaunchHeardAtMs = NAN;
    double OldSoundAfterResetMs = NAN;
    // A game of its own: from the launch to its window and to its first
    // progress report.
    double WindowAfterMs = NAN;
    double FirstReportAfterMs = NAN;
};

enum class TGameKind { InProcess, Linux, Wine };

struct TGameChoice {
    TGameKind Kind = TGameKind::InProcess;
    bool WineCold = false;
};

std::string Quoted(const std::string& word) {
    return "'" + word + "'";
}

// The game for one run, in a game directory made afresh.
std::unique_ptr<TBenchGame> MakeGame(const TGameChoice& choice, const fs::path& gameDirectory,
                                     double drift) {
    const std::string directory = gameDirectory.string() + "/";
    switch (choice.Kind) {
    case TGameKind::InProcess:
        return std::make_unique<TInProcessGame>(directory, drift);
    case TGameKind::Linux: {
        std::ostringstream launcher;
        launcher.imbue(std::locale::classic());
        launcher << Quoted(StandinProgram()) << " --clock-drift " << drift;
        return std::make_unique<TExternalGame>(directory, launcher.str());
    }
    case TGameKind::Wine:
        fs::copy_file(StandinProgram() + ".exe", gameDirectory / "Tribes2DemoPlayback.exe");
        if (choice.WineCold) {
            std::string output;
            RunInWinePrefix("wineserver -k; wineserver --wait", output);
        }
        return std::make_unique<TExternalGame>(directory, Quoted(BuildTreeWinePrefix().Wine));
    }
    return nullptr;
}

// The audio time the player reported, polled finely around the launch;
// -1 while the launch resets and silences it.
struct THeardPoll {
    double Steady;
    std::int64_t AudioMs;
};

constexpr int Loud = 3000; // the commentary peaks at 8000

// Reads the launch's restart off the monitor: the first sound after the
// audio came back, against the position polled after it.
void EvaluateLaunch(const std::vector<THeardPoll>& polls, const TMonitorCapture& capture,
                    std::int64_t sectionStartMs, TFigures& figures) {
    const auto silenced = std::find_if(polls.begin(), polls.end(),
                                       [](const THeardPoll& poll) { return poll.AudioMs < 0; });
    const auto back = std::find_if(silenced, polls.end(),
                                   [](const THeardPoll& poll) { return poll.AudioMs >= 0; });
    if (back == polls.end())
        return;
    const std::vector<std::int16_t>& heard = capture.Samples();
    const auto sampleAt = [&](double steady) {
        return static_cast<std::size_t>(
            std::max(0.0, (steady - capture.FrameZeroSeconds()) * TMonitorCapture::Rate));
    };
    std::size_t lastOld = sampleAt(silenced->Steady);
    for (std::size_t i = lastOld; i < std::min(heard.size(), sampleAt(back->Steady)); ++i)
        if (std::abs(heard[i]) > Loud)
            lastOld = i;
    figures.OldSoundAfterResetMs =
        1000.0 * static_cast<double>(lastOld - sampleAt(silenced->Steady)) / TMonitorCapture::Rate;
    // The position read back from a moment it has clearly moved on: unlike
    // the position itself, it is not held at 0 until the sink starts.
    const auto moved = std::find_if(back, polls.end(), [&](const THeardPoll& poll) {
        return poll.AudioMs - sectionStartMs >= 100;
    });
    if (moved == polls.end())
        return;
    const double zeroAt =
        moved->Steady - static_cast<double>(moved->AudioMs - sectionStartMs) / 1000;
    for (std::size_t i = sampleAt(back->Steady); i < heard.size(); ++i)
        if (std::abs(heard[i]) > Loud) {
            const double when =
                capture.FrameZeroSeconds() + static_cast<double>(i) / TMonitorCapture::Rate;
            figures.LaunchHeardAtMs = 1000 * (when - zeroAt);
            return;
        }
}

double Mean(const std::vector<TSample>& samples, std::size_t from) {
    double sum = 0;
    for (std::size_t i = from; i < samples.size(); ++i)
        sum += samples[i].DifferenceMs;
    return sum / static_cast<double>(samples.size() - from);
}

// The mean difference over each full window of WindowSeconds, by the index of
// its first sample.
std::vector<double> WindowMeans(const std::vector<TSample>& samples) {
    std::vector<double> means;
    std::size_t end = 0;
    double sum = 0;
    for (std::size_t first = 0; first < samples.size(); ++first) {
        while (end < samples.size() &&
               samples[end].Seconds < samples[first].Seconds + WindowSeconds)
            sum += samples[end++].DifferenceMs;
        if (end == samples.size())
            break; // the run ends inside this window
        means.push_back(sum / static_cast<double>(end - first));
        sum -= samples[first].DifferenceMs;
    }
    return means;
}

// The settled lead is the mean over the second half of the run. Converged at
// the start of the first window from which on every window's mean stays
// within SettledWithinMs of it; the figures cover the samples from there. A
// run that settles only inside the half that defines the lead never settled.
TFigures Evaluate(const std::vector<TSample>& samples) {
    TFigures figures;
    const std::vector<double> windows = WindowMeans(samples);
    if (windows.empty())
        return figures;
    const double settled = Mean(samples, samples.size() / 2);
    std::size_t from = windows.size();
    while (from > 0 && std::abs(windows[from - 1] - settled) <= SettledWithinMs)
        --from;
    figures.Converged = from < windows.size() && from <= samples.size() / 2;
    if (!figures.Converged)
        from = samples.size() / 2;
    figures.ConvergeSeconds = samples[from].Seconds - samples.front().Seconds;
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
std::int32_t StoreCast(const fs::path& work, const fs::path& castDirectory, int seconds,
                       double overrunPercent) {
    const std::int32_t sections =
        std::max(3, (seconds * 1000 + SectionAudioMs - 1) / SectionAudioMs);
    for (std::int32_t n = 0; n < sections; ++n) {
        const auto overrun = static_cast<std::int32_t>(
            std::lround(DemoOverrunShare[n % std::size(DemoOverrunShare)] * overrunPercent / 100 *
                        SectionAudioMs));
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
                  std::int32_t sections, double drift, bool correction, int seconds,
                  const std::string& trace, const TGameChoice& choice) {
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

    const std::unique_ptr<TBenchGame> gamePointer = MakeGame(choice, gameDirectory, drift);
    TBenchGame& game = *gamePointer;
    TAssembledCast cast(assembler);
    TMonitorCapture capture(QMediaDevices::defaultAudioInput());
    std::int32_t launchedDemo = -1;
    TPlaybackSync sync(
        cast, game, {settings.CastDirectory, settings.GameDirectory, false},
        {[&](std::int32_t demo) {
             launchedDemo = demo;
             game.Launch(demo);
         },
         [](bool) {},
         [](const std::string& message) { std::fprintf(stderr, "error: %s\n", message.c_str()); },
         {}},
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
        const std::int64_t gameDemo = game.DemoClockMs();
        if (gameDemo < 0)
            return;
        if (!reporting.isValid())
            reporting.start();
        samples.push_back(
            {reporting.elapsed() / 1000.0, static_cast<double>(gameDemo - audioDemo)});
    });
    std::vector<THeardPoll> launchPolls;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        launchPolls.push_back({SteadySeconds(), sync.HeardAudioTime()});
        if (running.elapsed() > 10000)
            poll.stop();
    });
    tick.start(TPlaybackSync::TickMs);
    frame.start(10);
    // A game of its own is read at each report, as soon as it appears.
    sample.start(choice.Kind == TGameKind::InProcess ? 100 : 10);
    poll.start(2);
    QTimer watch;
    bool windowShown = false;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        windowShown = windowShown || game.GameWindowExists();
        const bool over = windowShown && !game.GameWindowExists();
        if (over || running.elapsed() > (seconds + 30) * 1000LL)
            QCoreApplication::exit();
    });
    watch.start(50);
    QCoreApplication::exec();

    if (!trace.empty()) {
        std::ofstream out(trace);
        for (const TSample& sample : samples)
            out << sample.Seconds << ',' << sample.DifferenceMs << '\n';
    }
    TFigures figures = Evaluate(samples);
    figures.Launches = game.Launches();
    if (const auto* external = dynamic_cast<const TExternalGame*>(&game)) {
        figures.WindowAfterMs = external->WindowAfterMs().value_or(NAN);
        figures.FirstReportAfterMs = external->FirstReportAfterMs().value_or(NAN);
    }
    EvaluateLaunch(launchPolls, capture, std::int64_t{launchedDemo} * SectionAudioMs, figures);
    return figures;
}

void Print(double drift, bool correction, const TFigures& figures) {
    // The machine may be shared: the load tells how far timers could slip.
    double load[1] = {-1};
    getloadavg(load, 1);
    std::printf("drift %+4.1f %%  correction %-3s  load %4.2f  ", drift * 100,
                correction ? "on" : "off", load[0]);
    if (figures.Launches == 0) {
        std::printf("the game never started\n");
        return;
    }
    std::printf("lead %7.0f ms   p95 %5.0f ms   max %5.0f ms   ", figures.LeadMs, figures.P95Ms,
                figures.MaxMs);
    if (figures.Converged)
        std::printf("converged after %5.1f s", figures.ConvergeSeconds);
    else
        std::printf("never settled (figures over the second half)");
    std::printf("   launch: heard at %+4.0f ms, old sound %3.0f ms", figures.LaunchHeardAtMs,
                figures.OldSoundAfterResetMs);
    if (!std::isnan(figures.WindowAfterMs) || !std::isnan(figures.FirstReportAfterMs))
        std::printf(", window after %5.0f ms, first report after %5.0f ms", figures.WindowAfterMs,
                    figures.FirstReportAfterMs);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 180;
    double overrunPercent = 10;
    std::vector<double> drifts = {0.02, 0.0, -0.02};
    std::string tracePrefix;
    TGameChoice choice;
    bool driftGiven = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--seconds" && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else if (std::string(argv[i]) == "--drift" && i + 1 < argc) {
            drifts = {std::atof(argv[++i]) / 100};
            driftGiven = true;
        } else if (std::string(argv[i]) == "--overrun" && i + 1 < argc) {
            overrunPercent = std::clamp(std::atof(argv[++i]), 0.0, 50.0);
        } else if (std::string(argv[i]) == "--trace" && i + 1 < argc) {
            tracePrefix = argv[++i];
        } else if (std::string(argv[i]) == "--game" && i + 1 < argc &&
                   (std::string(argv[i + 1]) == "in-process" ||
                    std::string(argv[i + 1]) == "linux" || std::string(argv[i + 1]) == "wine")) {
            const std::string kind = argv[++i];
            choice.Kind = kind == "linux"  ? TGameKind::Linux
                          : kind == "wine" ? TGameKind::Wine
                                           : TGameKind::InProcess;
        } else if (std::string(argv[i]) == "--wine-cold") {
            choice.WineCold = true;
        } else {
            std::fprintf(stderr,
                         "usage: bench_playback_sync [--seconds S] [--drift P] [--overrun O] "
                         "[--trace PREFIX] [--game in-process|linux|wine [--wine-cold]]\n");
            return 2;
        }
    }
    if (choice.Kind != TGameKind::InProcess && !driftGiven)
        drifts = {0.0};
    if (choice.Kind == TGameKind::Wine) {
        if (drifts != std::vector<double>{0.0}) {
            std::fprintf(stderr, "the Windows stand-in takes no drift\n");
            return 2;
        }
        if (!BuildTreeWinePrefix().Problem.empty()) {
            std::fprintf(stderr, "%s\n", BuildTreeWinePrefix().Problem.c_str());
            return 1;
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
    const std::int32_t sections = StoreCast(root / "work", root / "cast", seconds, overrunPercent);
    std::printf("cast: %d sections of %d s audio, recordings running up to %.1f %% longer or "
                "shorter; samples every 100 ms of game clock minus the demo time of the audio "
                "heard\n"
                "lead: mean difference after convergence; p95/max: distance of single samples "
                "from the lead\n"
                "converged: from the start of the first %.0f-s window after which every %.0f-s "
                "window's mean difference stays within %.0f ms of the mean over the run's second "
                "half (only counted when reached in the first half)\n"
                "launch (from the sink's monitor): the position, read back from 100 ms on, when "
                "the restarted section was first heard (0 is right, + is ahead of the sound), and "
                "how long the sound from before the launch went on past its reset\n",
                sections, SectionAudioMs / 1000, overrunPercent, WindowSeconds, WindowSeconds,
                SettledWithinMs);
    std::fflush(stdout);
    for (const double drift : drifts)
        for (const bool correction : {true, false}) {
            const std::string trace = tracePrefix.empty()
                                          ? std::string()
                                          : tracePrefix + std::to_string(std::lround(drift * 100)) +
                                                (correction ? "-on.csv" : "-off.csv");
            Print(drift, correction,
                  PlayOnce(root / "cast", root / "game", sections, drift, correction, seconds,
                           trace, choice));
            std::fflush(stdout);
        }
    fs::remove_all(root);
    return 0;
}
