// Filming benchmark: the client films N minutes of game with commentary to a
// local nelq-server through a counting relay, once per audio quality entry.
// The client side is this process: its CPU time and peak memory are the
// client's; the server, the game stand-in, the relay and oggenc on the same
// length of audio are the references.
#include "../net/ChildProcess.h"
#include "CountingRelay.h"
#include "FilmingRun.h"
#include "MeasuredProgram.h"
#include "UploadFigures.h"

#include "audio/UnitAudioQuality.h"
#include "BuildTree.h"

#include <QApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const RelayAddress = "127.0.0.141"; // what the client films to
const char* const ServerAddress = "127.0.0.142";
constexpr std::uint16_t FilmerPort = 28200;
constexpr std::uint16_t ViewerPort = 28100;
constexpr std::int32_t Rate = 20000;

struct TOptions {
    int Minutes = 10;
    std::vector<int> Qualities;
    std::string Commentary; // a sound file played into the capture's sink, if any
};

[[noreturn]] void Usage(const std::string& message) {
    std::fprintf(stderr,
                 "bench_filming: %s\nusage: bench_filming [--minutes N] [--quality Q]... "
                 "[--commentary WAV]\n",
                 message.c_str());
    std::exit(2);
}

int WholeNumber(const std::string& option, const char* text, int low, int high) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < low || value > high)
        Usage(option + " takes a whole number from " + std::to_string(low) + " to " +
              std::to_string(high));
    return static_cast<int>(value);
}

TOptions ParseOptions(int argc, char** argv) {
    TOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            Usage("unknown or incomplete option " + arg);
        const char* value = argv[++i];
        if (arg == "--minutes")
            options.Minutes = WholeNumber(arg, value, 1, 600);
        else if (arg == "--quality")
            options.Qualities.push_back(
                WholeNumber(arg, value, 0, static_cast<int>(AudioQualities.size()) - 1));
        else if (arg == "--commentary")
            options.Commentary = value;
        else
            Usage("unknown option " + arg);
    }
    if (options.Qualities.empty())
        options.Qualities = {0, 5};
    return options;
}

bool Listening(const char* address, std::uint16_t port) {
    sockaddr_in endpoint{};
    endpoint.sin_family = AF_INET;
    endpoint.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &endpoint.sin_addr);
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    const bool connected =
        ::connect(probe, reinterpret_cast<const sockaddr*>(&endpoint), sizeof(endpoint)) == 0;
    ::close(probe);
    return connected;
}

void WaitFor(const std::function<bool()>& ready, const std::string& what) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        if (ready())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error(what + " did not start");
}

struct TReferenceFigures {
    double ServerCpu = 0;
    long ServerPeakKb = 0;
    double RelayCpu = 0;
    double OggencCpu = 0;
};

// oggenc at the entry's settings on as much of the commentary as the client
// captured (silence where there is none): managed bitrate at the nominal
// rate, or quality 0 for the entry without a bitrate mode.
double OggencCpuSeconds(const TAudioQuality& quality, double seconds, const std::string& commentary,
                        const fs::path& directory) {
    const std::string pcm = (directory / "reference.wav").string();
    const std::string length = std::to_string(seconds);
    std::vector<std::string> sox = {"sox"};
    if (commentary.empty())
        sox.insert(sox.end(),
                   {"-n", "-r", std::to_string(quality.Rate), "-c",
                    std::to_string(quality.Channels), "-b", "16", pcm, "trim", "0", length});
    else
        sox.insert(sox.end(), {commentary, "-r", std::to_string(quality.Rate), "-c",
                               std::to_string(quality.Channels), "-b", "16", pcm, "pad", "0",
                               length, "trim", "0", length});
    const std::string log = (directory / "reference.log").string();
    if (!RunProgram(sox, log).Succeeded)
        throw std::runtime_error("sox could not make the reference audio (see " + log + ")");
    std::vector<std::string> oggenc = {"oggenc", "-Q", "-o",
                                       (directory / "reference.ogg").string()};
    if (quality.Mode == 1)
        oggenc.insert(oggenc.end(), {"--managed", "-b", std::to_string(quality.Bitrate / 1000)});
    else
        oggenc.insert(oggenc.end(), {"-q", "0"});
    oggenc.push_back(pcm);
    const TProgramResult result = RunProgram(oggenc, log);
    if (!result.Succeeded)
        throw std::runtime_error("oggenc failed (see " + log + ")");
    return result.CpuSeconds;
}

void Print(int audioIndex, const TOptions& options, const TClientFigures& client,
           const TReferenceFigures& reference, const TUploadFigures& upload) {
    const double minutes = options.Minutes;
    const double perMinute = client.CpuSeconds / minutes;
    std::printf("quality %d (%s), %d min of game in recordings of 60 s, rate %d bytes/s\n",
                audioIndex, AudioQualityText(AudioQuality(audioIndex)).c_str(), options.Minutes,
                Rate);
    std::printf("  client cpu        %.2f s = %.2f s per minute of game = %.2f %% of one core "
                "(goal < 5 %%); %.2f %% over the whole run of %.1f s\n",
                client.CpuSeconds, perMinute, 100.0 * perMinute / 60.0,
                100.0 * client.CpuSeconds / client.WallSeconds, client.WallSeconds);
    std::printf("  client peak rss   %.1f MB%s (goal < 150 MB)\n",
                static_cast<double>(client.PeakRssKb) / 1024.0,
                client.PeakIsRunOnly ? "" : " (whole process)");
    std::printf("  reference cpu     server %.2f s (peak %.1f MB), game stand-in %.2f s, relay "
                "%.2f s\n",
                reference.ServerCpu, static_cast<double>(reference.ServerPeakKb) / 1024.0,
                client.StandinCpuSeconds, reference.RelayCpu);
    std::printf("                    oggenc on %.0f s of the same audio %.2f s; client/oggenc "
                "%.2f\n",
                client.WallSeconds, reference.OggencCpu,
                reference.OggencCpu > 0 ? client.CpuSeconds / reference.OggencCpu : 0.0);
    std::printf("  upload per 1 s    max %lld bytes of block data (%lld on the wire), %d of %d "
                "windows above the rate\n",
                static_cast<long long>(upload.MaxWindowPayload),
                static_cast<long long>(upload.MaxWindowWire), upload.WindowsOverBudget,
                upload.Windows);
    std::printf("  upload waiting    %.0f bytes/s over %.0f s = %.2f %% of the rate (goal within "
                "2 %%); passes at least %.0f ms apart\n",
                upload.WaitingRate, upload.WaitingSeconds, 100.0 * upload.WaitingRate / Rate,
                upload.ShortestPassGapMs);
    const auto& delays = upload.AnnounceDelaysMs;
    if (!delays.empty()) {
        const double mean =
            std::accumulate(delays.begin(), delays.end(), 0.0) / static_cast<double>(delays.size());
        std::printf("  final->announced mean %.0f ms, max %.0f ms over %zu recordings:", mean,
                    *std::max_element(delays.begin(), delays.end()), delays.size());
        for (const double delay : delays)
            std::printf(" %.0f", delay);
        std::printf("\n");
    }
    std::printf("  cast              %d real + %d fake sections, %lld demo + %lld audio bytes, "
                "%s\n\n",
                upload.RealSections, upload.FakeSections, static_cast<long long>(upload.DemoBytes),
                static_cast<long long>(upload.AudioBytes),
                client.Completed ? "completed" : "NOT COMPLETED");
}

// One filming run at one quality entry; true when it completed with every recording.
bool BenchQuality(int audioIndex, const TOptions& options, const fs::path& scratch,
                  const std::string& self) {
    const fs::path directory = scratch / ("quality-" + std::to_string(audioIndex));
    fs::create_directories(directory);
    const std::string relayLog = (directory / "relay.events").string();
    TReferenceFigures reference;
    TClientFigures client;
    {
        TChildProcess server(ServerProgram(),
                             {"--bind", ServerAddress, "--data", (directory / "casts").string()},
                             (directory / "server.log").string());
        WaitFor([] { return Listening(ServerAddress, ViewerPort); }, "nelq-server");
        TChildProcess relay(
            self, {"--relay", RelayAddress, ServerAddress, std::to_string(FilmerPort), relayLog},
            (directory / "relay.log").string());
        WaitFor([&] { return fs::exists(relayLog); }, "the relay");
        std::unique_ptr<TChildProcess> commentary;
        if (!options.Commentary.empty())
            commentary = std::make_unique<TChildProcess>(
                "/usr/bin/env", std::vector<std::string>{"paplay", options.Commentary},
                (directory / "paplay.log").string());

        TFilmingRunSettings run;
        run.Host = RelayAddress;
        run.AudioIndex = audioIndex;
        run.Minutes = options.Minutes;
        run.Rate = Rate;
        run.Directory = directory;
        run.StandinPath = StandinProgram();
        client = FilmWithTheClient(run);
        reference.ServerCpu = server.CpuSeconds();
        reference.ServerPeakKb = server.PeakMemoryKb();
        reference.RelayCpu = relay.CpuSeconds();
    }
    reference.OggencCpu = OggencCpuSeconds(AudioQuality(audioIndex), client.WallSeconds,
                                           options.Commentary, directory);
    const TUploadFigures upload =
        AnalyseUpload(ReadRelayLog(relayLog), Rate, client.RecordingsFinalNs);
    Print(audioIndex, options, client, reference, upload);
    const bool whole = client.Completed && upload.RealSections == options.Minutes;
    if (!whole)
        for (const std::string& line : client.StatusLines)
            std::fprintf(stderr, "  client: %s\n", line.c_str());
    return whole;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--relay")
        return RunCountingRelay(argv[2], argv[3], static_cast<std::uint16_t>(std::stoi(argv[4])),
                                argv[5]);
    const TOptions options = ParseOptions(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const fs::path scratch =
        fs::temp_directory_path() / ("nelq-filming-bench-" + std::to_string(::getpid()));
    std::printf("filming through a counting relay (%s) to nelq-server (%s); commentary: %s\n\n",
                RelayAddress, ServerAddress,
                options.Commentary.empty() ? "what the default input captures"
                                           : options.Commentary.c_str());
    std::fflush(stdout);
    int status = 0;
    try {
        for (const int audioIndex : options.Qualities) {
            if (!BenchQuality(audioIndex, options, scratch, self))
                status = 1;
            std::fflush(stdout);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_filming: %s (files kept in %s)\n", error.what(),
                     scratch.c_str());
        return 1;
    }
    if (status == 0)
        fs::remove_all(scratch);
    else
        std::fprintf(stderr, "bench_filming: a run did not complete; files kept in %s\n",
                     scratch.c_str());
    return status;
}
