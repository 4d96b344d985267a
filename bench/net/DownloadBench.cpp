// Archive download benchmark: a one-hour cast filmed to nelq-server and
// downloaded from its web page with curl, against nginx serving the same
// archive from disk (sendfile), on loopback in the same run; then the
// server's memory per download in progress, with slow readers.
//
//   bench_net_download [--work DIR] [--sections N] [--runs N] [--slow K] [--slow-seconds S]

#include "ArchiveServers.h"
#include "CurlDownloads.h"
#include "HourCast.h"

#include "CastClients.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const Address = "127.0.0.41";
const char* const Game = "HourCast";

struct TOptions {
    fs::path Work = fs::temp_directory_path() / "nelq-download-bench";
    std::map<std::string, int> Counts{
        {"--sections", 60}, {"--runs", 10}, {"--slow", 16}, {"--slow-seconds", 8}};
};

TOptions ParseOptions(int argc, char** argv) {
    TOptions options;
    for (int i = 1; i < argc; i += 2) {
        const std::string name = argv[i];
        const auto count = options.Counts.find(name);
        if (i + 1 >= argc || (name != "--work" && count == options.Counts.end()))
            throw std::invalid_argument("usage: bench_net_download [--work DIR] [--sections N] "
                                        "[--runs N] [--slow K] [--slow-seconds S]");
        if (name == "--work")
            options.Work = argv[i + 1];
        else
            count->second = std::max(1, std::atoi(argv[i + 1]));
    }
    return options;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Through the filmer protocol, as the client films; the server then holds it as finished.
void FilmCast(std::uint16_t filmerPort, const std::vector<THourCastSection>& sections) {
    TServerConnection filmer;
    if (!ConnectAs(filmer, Address, filmerPort, "2016").Accepted ||
        !FilmerLogin(filmer, "", "NEW", Game).Accepted)
        throw std::runtime_error("the server refused the filmer");
    for (std::size_t n = 0; n < sections.size(); ++n)
        UploadSection(filmer, static_cast<std::int32_t>(n),
                      {ReadWhole(sections[n].DemoPath),
                       static_cast<std::int32_t>(sections[n].BodyOffset),
                       ReadWhole(sections[n].AudioPath)},
                      65536);
    filmer.WriteLine("COMPLETED");
}

// The first download, kept: the server answers 409 until it has taken the
// end of the cast, and reads the parts once for their CRC-32s.
TCurlDownload SaveArchive(const std::string& curl, const std::string& url, const fs::path& file,
                          const fs::path& scratch) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        const TCurlDownload download = CurlDownload(curl, url, file.string(), scratch);
        if (download.Status == 200 &&
            download.Bytes == static_cast<std::int64_t>(fs::file_size(file)))
            return download;
        if (download.Status != 409 || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error(url + " answered " + std::to_string(download.Status));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

struct TThroughput {
    std::vector<double> MBps;
    void Add(const TCurlDownload& download, std::int64_t size, const std::string& url) {
        if (download.Status != 200 || download.Bytes != size)
            throw std::runtime_error(url + " gave " + std::to_string(download.Bytes) +
                                     " bytes with status " + std::to_string(download.Status));
        MBps.push_back(static_cast<double>(download.Bytes) / 1e6 / download.Seconds);
    }
    double Median() {
        std::sort(MBps.begin(), MBps.end());
        const std::size_t half = MBps.size() / 2;
        return MBps.size() % 2 ? MBps[half] : (MBps[half - 1] + MBps[half]) / 2;
    }
    double Best() const { return *std::max_element(MBps.begin(), MBps.end()); }
};

void PrintLoad(const char* when) {
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("load average %s: %.2f %.2f %.2f\n", when, load[0], load[1], load[2]);
}

void PrintMemory(const char* name, const TMemoryPerDownload& memory, int downloads) {
    std::printf("  %-12s %8.1f MB %8.1f MB %10.0f kB %12.1f MB\n", name, memory.BeforeKb / 1024.0,
                memory.PeakKb / 1024.0, memory.KbPerDownload(downloads),
                static_cast<double>(memory.FewestBytes) / 1e6);
}

int Run(const TOptions& options) {
    const std::string curl = RequiredProgram("curl", "curl");
    const std::string nginx = RequiredProgram("nginx", "nginx-light");
    const int runs = options.Counts.at("--runs");
    const int slow = options.Counts.at("--slow");
    const int slowSeconds = options.Counts.at("--slow-seconds");
    fs::create_directories(options.Work);
    const auto sections = HourCastSections(options.Work.string(), options.Counts.at("--sections"));
    const fs::path scratch = options.Work / "run";
    fs::remove_all(scratch);
    fs::create_directories(scratch / "root");
    PrintLoad("before");

    TRunningServer server = StartNelqServer(Address, scratch / "data", scratch / "server.log");
    FilmCast(server.FilmerPort, sections);
    const std::string serverUrl = "http://" + std::string(Address) + ":" +
                                  std::to_string(server.HttpPort) + "/casts/" + Game + ".qmx";
    const fs::path saved = scratch / "root" / (std::string(Game) + ".qmx");
    const TCurlDownload first = SaveArchive(curl, serverUrl, saved, scratch);
    const auto size = static_cast<std::int64_t>(fs::file_size(saved));
    std::printf("archive of %zu sections: %.1f MB; the first download (CRC-32s read) took %.2f s\n",
                sections.size(), size / 1e6, first.Seconds);

    TRunningServer reference = StartNginx(nginx, Address, scratch / "root", scratch / "nginx");
    const std::string nginxUrl = "http://" + std::string(Address) + ":" +
                                 std::to_string(reference.HttpPort) + "/" + Game + ".qmx";
    CurlDownload(curl, nginxUrl, "/dev/null", scratch); // its first read of the file
    // Taken in turns, so that a change in the machine's load falls on both.
    TThroughput ours;
    TThroughput theirs;
    for (int run = 0; run < runs; ++run) {
        ours.Add(CurlDownload(curl, serverUrl, "/dev/null", scratch), size, serverUrl);
        theirs.Add(CurlDownload(curl, nginxUrl, "/dev/null", scratch), size, nginxUrl);
    }
    std::printf(
        "\n%d downloads each with curl to /dev/null, in turns (MB/s by curl's time_total):\n",
        runs);
    std::printf("  %-12s %10s %10s\n", "", "median", "best");
    std::printf("  %-12s %10.0f %10.0f\n", "nelq-server", ours.Median(), ours.Best());
    std::printf("  %-12s %10.0f %10.0f\n", "nginx", theirs.Median(), theirs.Best());
    const double ratio = ours.Median() / theirs.Median();
    std::printf("  ratio of medians %.2f, of bests %.2f (goal >= 0.80: %s)\n", ratio,
                ours.Best() / theirs.Best(), ratio >= 0.8 ? "met" : "missed");

    std::printf("\n%d downloads at once, each read at 1 MB/s for %d s (resident memory):\n", slow,
                slowSeconds);
    std::printf("  %-12s %11s %11s %13s %15s\n", "", "before", "peak", "per download",
                "slowest got");
    const auto serverMemory =
        SlowDownloads(curl, serverUrl, slow, slowSeconds, *server.Process, scratch);
    PrintMemory("nelq-server", serverMemory, slow);
    PrintMemory("nginx",
                SlowDownloads(curl, nginxUrl, slow, slowSeconds, *reference.Process, scratch),
                slow);
    std::printf("  goal <= 1024 kB per download: %s\n",
                serverMemory.KbPerDownload(slow) <= 1024 ? "met" : "missed");
    PrintLoad("after");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Children write to the terminal too; keep the figures in order with them.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        return Run(ParseOptions(argc, argv));
    } catch (const std::invalid_argument& usage) {
        std::fprintf(stderr, "%s\n", usage.what());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_net_download: %s\n", error.what());
        return 1;
    }
}
