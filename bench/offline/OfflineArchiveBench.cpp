// Opens a one-hour cast archive (60 sections of 60 s) the way a viewer does:
// extraction throughput of ExtractCastArchive against `unzip -o -j` on the same
// archive, and the time from starting `nelq-client ARCHIVE` to the first
// audio reaching the sound server's sink. Run it through run-offline-bench,
// which provides the display and the sound server.
//
//   bench_offline_archive [--work DIR] [--sections N] [--runs N]

#include "HourCastArchive.h"

#include "app/UnitGameInstall.h"
#include "playback/ArchiveExtraction.h"
#include "BuildTree.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int ExtractionRounds = 3;
constexpr auto FirstAudioDeadline = std::chrono::seconds(60);
// Samples louder than this are the tone; the sink's idle stream is silence.
constexpr int ToneThreshold = 1000;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::uint64_t BytesUnder(const fs::path& directory) {
    std::uint64_t total = 0;
    for (const auto& entry : fs::directory_iterator(directory))
        total += entry.file_size();
    return total;
}

// Starts a program with its standard output going to `stdoutFd` (or left as is).
pid_t Spawn(const std::vector<std::string>& argv, int stdoutFd = -1) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDERR_FILENO);
    }
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        throw std::runtime_error("cannot start " + argv[0]);
    return pid;
}

int WaitFor(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Stop(pid_t pid) {
    kill(pid, SIGTERM);
    WaitFor(pid);
}

struct TExtraction {
    double Seconds;
    std::uint64_t Bytes;
};

template <typename Extract>
TExtraction BestExtraction(const fs::path& target, Extract extract) {
    TExtraction best{1e9, 0};
    for (int round = 0; round < ExtractionRounds; ++round) {
        fs::remove_all(target);
        fs::create_directories(target.parent_path());
        const auto start = Clock::now();
        extract();
        best.Seconds = std::min(best.Seconds, SecondsSince(start));
        best.Bytes = BytesUnder(target);
    }
    fs::remove_all(target);
    return best;
}

void PrintExtraction(const char* name, const TExtraction& run) {
    std::printf("  %-20s %7.3f s  %7.1f MB/s  (%.1f MB)\n", name, run.Seconds,
                run.Bytes / 1e6 / run.Seconds, run.Bytes / 1e6);
}

void CompareExtraction(const std::string& archive, const fs::path& work) {
    const fs::path ours = work / "extract-client/ACTIVE";
    const fs::path theirs = work / "extract-unzip/ACTIVE";
    const TExtraction client =
        BestExtraction(ours, [&] { ExtractCastArchive(archive, ours.string()); });
    const TExtraction unzip = BestExtraction(theirs, [&] {
        if (WaitFor(Spawn({"unzip", "-q", "-o", "-j", archive, "-d", theirs.string()})) != 0)
            throw std::runtime_error("unzip failed");
    });
    std::printf("extraction (best of %d):\n", ExtractionRounds);
    PrintExtraction("ExtractCastArchive", client);
    PrintExtraction("unzip -o -j", unzip);
    std::printf("  ratio %.2fx (goal <= 1.2x)\n", client.Seconds / unzip.Seconds);
}

// Records the sink's monitor and notes when the first loud sample arrives.
class TSinkListener {
public:
    TSinkListener() {
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        FPid = Spawn({"parec", "-d", "nelq_sink.monitor", "--raw", "--format=s16le",
                      "--rate=44100", "--channels=2", "--latency-msec=10"},
                     fds[1]);
        close(fds[1]);
        FReadFd = fds[0];
        FReader = std::thread([this] { Read(); });
        // The recording is live once the sink's idle stream comes through.
        while (!FFlowing && !FEnded)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (FEnded)
            throw std::runtime_error("parec gave no data; is the sound server running?");
    }
    ~TSinkListener() {
        Stop(FPid);
        FReader.join();
        close(FReadFd);
    }
    void Arm() { FArmed = true; }
    // Seconds after `start` of the first loud sample since Arm(), if one came in time.
    std::optional<double> WaitForTone(Clock::time_point start) {
        while (!FHeard && Clock::now() - start < FirstAudioDeadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!FHeard)
            return std::nullopt;
        return std::chrono::duration<double>(FHeardAt - start).count();
    }

private:
    void Read() {
        std::vector<std::int16_t> samples(512);
        for (;;) {
            const ssize_t got = read(FReadFd, samples.data(), samples.size() * 2);
            if (got <= 0)
                break;
            const auto now = Clock::now();
            FFlowing = true;
            if (!FArmed || FHeard)
                continue;
            const auto end = samples.begin() + got / 2;
            if (std::any_of(samples.begin(), end, [](std::int16_t s) {
                    return std::abs(int{s}) > ToneThreshold;
                })) {
                FHeardAt = now;
                FHeard = true;
            }
        }
        FEnded = true;
    }

    pid_t FPid;
    int FReadFd;
    std::thread FReader;
    std::atomic<bool> FFlowing{false}, FEnded{false}, FArmed{false}, FHeard{false};
    Clock::time_point FHeardAt;
};

// A client installation of its own: settings, data, a game to find, and no
// game launcher, so that only the commentary plays.
void PrepareClientHome(const fs::path& home) {
    fs::remove_all(home);
    const fs::path game = home / "wine/drive_c/Dynamix/Tribes2/GameData";
    fs::create_directories(game);
    fs::create_directories(home / "config/NELQ");
    fs::copy_file(fs::path(PeFixtureDirectory()) / "valid.exe", game / PlaybackExecutableName);
    std::ofstream(home / "config/NELQ/NELQ.ini") << "[Settings]\nGameLauncher=\n";
    setenv("NELQ_HOME", (home / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("WINEPREFIX", (home / "wine").c_str(), 1);
}

void MeasureFirstAudio(const std::string& archive, const fs::path& work, int runs) {
    std::printf("command line to first audio at the sink:\n");
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const fs::path home = work / "client";
        PrepareClientHome(home);
        TSinkListener sink;
        const int log = ::open((home / "client.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        sink.Arm();
        const auto start = Clock::now();
        const pid_t client = Spawn({ClientProgram(), archive}, log);
        const std::optional<double> heard = sink.WaitForTone(start);
        Stop(client);
        close(log);
        if (heard) {
            std::printf("  run %d: %.3f s\n", run + 1, *heard);
            times.push_back(*heard);
        } else {
            std::printf("  run %d: no audio within %lld s (log: %s)\n", run + 1,
                        static_cast<long long>(FirstAudioDeadline.count()),
                        (home / "client.log").c_str());
        }
    }
    if (!times.empty())
        std::printf("  best %.3f s, worst %.3f s (goal <= 3 s)\n",
                    *std::min_element(times.begin(), times.end()),
                    *std::max_element(times.begin(), times.end()));
}

} // namespace

int main(int argc, char* argv[]) {
    std::string work = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                       "/nelq-offline-bench";
    std::int32_t sections = 60;
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--work")
            work = argv[i + 1];
        else if (option == "--sections")
            sections = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else {
            std::fprintf(stderr, "usage: %s [--work DIR] [--sections N] [--runs N]\n", argv[0]);
            return 2;
        }
    }
    // Children write to the terminal too; keep the figures in order with them.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        fs::create_directories(work);
        const std::string archive = HourCastArchive(work, sections);
        std::printf("archive %s: %d sections of 60 s, %.1f MB\n", archive.c_str(), sections,
                    fs::file_size(archive) / 1e6);
        CompareExtraction(archive, work);
        MeasureFirstAudio(archive, work, runs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_offline_archive: %s\n", e.what());
        return 1;
    }
    return 0;
}
