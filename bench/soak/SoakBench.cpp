// Soak benchmark: the client films N minutes of game with a tone as its
// commentary, through a relay that drops its connection every 30 to 90 s,
// stalls it once for 90 s, while the server is restarted once; three viewers
// in a process of their own download the cast live, each through a faulty
// relay of its own. Prints whether every section arrived byte for byte, the
// commentary lost, the reconnections, the longest time without progress
// after each kind of fault, and the filming client's peak memory.
#include "../net/ChildProcess.h"
#include "DeliveryCheck.h"
#include "EventLog.h"
#include "FaultInjector.h"
#include "FaultPlan.h"
#include "FilmingRun.h"
#include "RecoveryFigures.h"
#include "SectionKeeper.h"
#include "SoakReport.h"
#include "SoakServer.h"
#include "SoakSetup.h"
#include "SoakViewers.h"
#include "BuildTree.h"

#include <QApplication>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr std::int32_t Rate = 20000;
constexpr auto RestartDowntime = 3s;
// After the upload: time for the viewers to fetch what is left, a stall included.
constexpr auto ViewersGrace = 10min;

struct TOptions {
    int Minutes = 20;
    std::uint32_t Seed = std::random_device{}();
};

[[noreturn]] void Usage(const std::string& message) {
    std::fprintf(stderr, "bench_soak: %s\nusage: bench_soak [--minutes N] [--seed S]\n",
                 message.c_str());
    std::exit(2);
}

TOptions ParseOptions(int argc, char** argv) {
    TOptions options;
    for (int i = 1; i < argc; i += 2) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            Usage("unknown or incomplete option " + option);
        char* end = nullptr;
        const unsigned long value = std::strtoul(argv[i + 1], &end, 10);
        if (*argv[i + 1] == '\0' || *end != '\0')
            Usage(option + " takes a whole number");
        if (option == "--minutes" && value >= 1 && value <= 600)
            options.Minutes = static_cast<int>(value);
        else if (option == "--seed")
            options.Seed = static_cast<std::uint32_t>(value);
        else
            Usage("unknown option or value out of range: " + option);
    }
    return options;
}

std::optional<std::chrono::seconds> RestartTime(const std::vector<TPlannedFault>& plan) {
    for (const TPlannedFault& fault : plan)
        if (fault.Kind == TSoakEvent::Restart)
            return fault.At;
    return std::nullopt;
}

bool ViewersEnded(const fs::path& scratch) {
    for (int v = 0; v < ViewerCount; ++v) {
        const auto events = ReadEventLog((ViewerDirectory(scratch, v) / "events").string());
        if (std::none_of(events.begin(), events.end(),
                         [](const TTimedEvent& e) { return e.Kind == TSoakEvent::End; }))
            return false;
    }
    return true;
}

int CountStatus(const TClientFigures& client, const std::string& text) {
    return static_cast<int>(std::count_if(
        client.StatusLines.begin(), client.StatusLines.end(), [&](const std::string& line) {
            return line.size() >= text.size() &&
                   line.compare(line.size() - text.size(), text.size(), text) == 0;
        }));
}

void PrintPlan(const TOptions& options, const std::vector<TPlannedFault>& plan) {
    std::printf("soak: %d min of game (60 s recordings) filmed with a tone at quality 0, rate %d "
                "bytes/s; seed %u\n",
                options.Minutes, Rate, options.Seed);
    std::printf("faults: the filmer's upload %d drops, %d stall of %lld s",
                CountPlanned(plan, TSoakEvent::Drop), CountPlanned(plan, TSoakEvent::Stall),
                static_cast<long long>(StallLength.count()));
    if (const auto restart = RestartTime(plan))
        std::printf(", the server restarted at %lld s (down %lld s)",
                    static_cast<long long>(restart->count()),
                    static_cast<long long>(RestartDowntime.count()));
    std::printf("; three viewers' downloads each drops 30-90 s apart and one stall\n\n");
    std::fflush(stdout);
}

// Films through the faulty relay while the server restarts and the viewers
// download; returns what the filming client measured.
TClientFigures FilmUnderFaults(const TOptions& options, const std::vector<TPlannedFault>& plan,
                               const fs::path& scratch, const std::string& self) {
    TSoakServer server(ServerAddress, scratch, SoakGame);
    server.Start();
    TEventLog events((scratch / "filmer.events").string());
    TFaultRelay relay(FilmerRelayAddress, ServerAddress, FilmerPort, FilmerPort);
    TFaultInjector faults(relay, TFlow::Upstream, FilmerUploadBoundary, plan, options.Seed, events);
    TSectionKeeper keeper(scratch / "work", scratch / "kept");
    std::unique_ptr<TChildProcess> viewers;

    const auto restartAt = RestartTime(plan);
    const auto start = std::chrono::steady_clock::now();
    std::optional<std::chrono::steady_clock::time_point> downSince;
    TFilmingRunSettings run;
    run.Host = FilmerRelayAddress;
    run.Minutes = options.Minutes;
    run.Rate = Rate;
    run.Directory = scratch;
    run.StandinPath = StandinProgram();
    run.GameName = SoakGame;
    run.EveryTick = [&] {
        faults.Tick();
        const auto now = std::chrono::steady_clock::now();
        if (restartAt && server.Starts() == 1 && server.Running() && now - start >= *restartAt) {
            server.Stop();
            events.Add(TSoakEvent::Restart);
            downSince = now;
        }
        if (downSince && now - *downSince >= RestartDowntime) {
            server.Start();
            downSince.reset();
        }
        if (server.Running())
            server.NoteFilmer(events);
        if (!viewers && fs::exists(server.CastDirectory() / "section_0.part1")) {
            const auto duration = std::chrono::seconds(options.Minutes * 60);
            viewers = std::make_unique<TChildProcess>(
                self,
                std::vector<std::string>{"--viewers", scratch.string(),
                                         std::to_string(duration.count()),
                                         std::to_string((duration + ViewersGrace).count()),
                                         std::to_string(options.Seed + 1)},
                (scratch / "viewers.log").string());
        }
    };
    TClientFigures client = FilmWithTheClient(run);
    if (!client.Completed)
        return client; // a cast that never ends keeps viewers waiting for good
    events.Add(TSoakEvent::End);
    for (const auto until = std::chrono::steady_clock::now() + ViewersGrace;
         viewers && !ViewersEnded(scratch) && std::chrono::steady_clock::now() < until;)
        std::this_thread::sleep_for(1s);
    return client;
}

TSoakReport Analyse(const TClientFigures& client, const fs::path& scratch) {
    TSoakReport report;
    std::vector<fs::path> viewerCasts;
    for (int v = 0; v < ViewerCount; ++v)
        viewerCasts.push_back(ViewerDirectory(scratch, v) / "streams" / SoakGame);
    report.Delivery = CheckDelivery(scratch / "kept", scratch / "casts" / SoakGame, viewerCasts);

    const auto filmerEvents = ReadEventLog((scratch / "filmer.events").string());
    TClientRecovery filmer = AnalyseRecovery(filmerEvents);
    // The events hold the server's logins; the client's own count is this.
    filmer.Reconnections = CountStatus(client, "Attempting Reconnection...");
    report.Clients.emplace_back("filmer", filmer);
    std::vector<TTimedEvent> restarts;
    std::copy_if(filmerEvents.begin(), filmerEvents.end(), std::back_inserter(restarts),
                 [](const TTimedEvent& e) { return e.Kind == TSoakEvent::Restart; });
    for (int v = 0; v < ViewerCount; ++v) {
        auto events = ReadEventLog((ViewerDirectory(scratch, v) / "events").string());
        events.insert(events.end(), restarts.begin(), restarts.end());
        report.Clients.emplace_back("viewer " + std::to_string(v + 1), AnalyseRecovery(events));
    }
    report.PeakRssKb = client.PeakRssKb;
    report.PeakIsRunOnly = client.PeakIsRunOnly;
    return report;
}

bool Whole(const TSoakReport& report) {
    const TDeliveryFigures& delivery = report.Delivery;
    return std::all_of(report.Clients.begin(), report.Clients.end(),
                       [](const auto& client) { return client.second.Ended; }) &&
           delivery.Differences.empty() && delivery.Sections > 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--viewers")
        return RunSoakViewers(argv[2], std::chrono::seconds(std::stol(argv[3])),
                              std::chrono::seconds(std::stol(argv[4])),
                              static_cast<std::uint32_t>(std::stoul(argv[5])));
    const TOptions options = ParseOptions(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const fs::path scratch =
        fs::temp_directory_path() / ("nelq-soak-bench-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    std::mt19937 random(options.Seed);
    const auto plan = PlanFaults(random, std::chrono::minutes(options.Minutes), true);
    PrintPlan(options, plan);
    try {
        const TClientFigures client = FilmUnderFaults(options, plan, scratch, self);
        const TSoakReport report = Analyse(client, scratch);
        PrintSoakReport(report);
        if (!client.Completed)
            for (const std::string& line : client.StatusLines)
                std::fprintf(stderr, "  filmer: %s\n", line.c_str());
        if (!Whole(report)) {
            std::fprintf(stderr, "bench_soak: files kept in %s\n", scratch.c_str());
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_soak: %s (files kept in %s)\n", error.what(), scratch.c_str());
        return 1;
    }
    fs::remove_all(scratch);
    return 0;
}
