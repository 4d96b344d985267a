// Edges benchmark: one filmer at 20000 bytes/s to an origin, nginx as the
// cache in front of it (the tests' configuration), four edges behind nginx,
// and as many viewers on each edge as on the origin. Prints what the origin
// sent the cache against the cast's bytes, and each server's viewers' lag
// behind the filmer.
#include "CastLoad.h"
#include "ChildProcess.h"

#include "BuildTree.h"
#include "CastClients.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string OriginAddress = "127.0.0.41";
const std::string CacheAddress = "127.0.0.42";
const std::vector<std::string> EdgeAddresses = {"127.0.0.43", "127.0.0.44", "127.0.0.45",
                                                "127.0.0.46"};
constexpr std::uint16_t FilmerPort = 28200;
constexpr std::uint16_t ViewerPort = 28100;
constexpr std::uint16_t HttpPort = 28080;
constexpr std::int32_t Rate = 20000;

std::string CacheConfiguration(const fs::path& directory) {
    std::ifstream in(BuildTreePath("tests/net/edge-cache.conf"));
    std::string text(std::istreambuf_iterator<char>(in), {});
    const std::vector<std::pair<std::string, std::string>> values = {
        {"@DIR@", directory.string()},
        {"@LISTEN@", CacheAddress + ":" + std::to_string(HttpPort)},
        {"@ORIGIN@", OriginAddress + ":" + std::to_string(HttpPort)}};
    for (const auto& [key, value] : values)
        for (std::size_t at; (at = text.find(key)) != std::string::npos;)
            text.replace(at, key.size(), value);
    return text;
}

// Bytes nginx took from the origin for parts: whole (each ended part once
// per cache, at best) and in ranges (growing parts, once per edge at best).
struct TOriginBytes {
    std::uint64_t Whole = 0;
    std::uint64_t Ranges = 0;
};
TOriginBytes OriginBytes(const fs::path& log) {
    TOriginBytes bytes;
    std::ifstream in(log);
    const std::regex line(
        R"re(GET /casts/\S+/[0-9]+/(demo|audio)\?\S+ (200|206) "(\S+)" (\S+) ([0-9]+))re");
    for (std::string text; std::getline(in, text);) {
        std::smatch match;
        if (!std::regex_match(text, match, line) || match[4] == "HIT")
            continue;
        (match[3] == "-" ? bytes.Whole : bytes.Ranges) += std::stoull(match[5]);
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    int viewers = 100;
    try {
        if (argc > 2)
            throw std::invalid_argument("one number of viewers at most");
        if (argc == 2)
            viewers = ViewerCountArgument(argv[1]);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "bench_net_edge: %s\nusage: bench_net_edge [VIEWERS]\n",
                     error.what());
        return 2;
    }
    const fs::path scratch =
        fs::temp_directory_path() / ("nelq-bench-edge-" + std::to_string(::getpid()));
    fs::create_directories(scratch / "nginx");
    const auto sections = LoadCast();
    const std::int64_t castBytes = CastBytes(sections);
    std::printf("edges: one filmer at %d bytes/s to an origin, %zu sections (%lld bytes); nginx "
                "in front; %zu edges; %d viewers on each server\n\n",
                Rate, sections.size(), static_cast<long long>(castBytes), EdgeAddresses.size(),
                viewers);

    int status = 0;
    {
        // Room for every viewer; the filmer slots take a quarter.
        const std::string connections = std::to_string(viewers * 2 + 16);
        TChildProcess origin(ServerProgram(),
                             {"--bind", OriginAddress, "--data", (scratch / "origin").string(),
                              "--max-connections", connections},
                             (scratch / "origin.log").string());
        WaitAccepting(OriginAddress, HttpPort);
        std::ofstream(scratch / "nginx" / "nginx.conf") << CacheConfiguration(scratch / "nginx");
        TChildProcess nginx("/usr/sbin/nginx",
                            {"-p", (scratch / "nginx").string() + "/", "-c",
                             (scratch / "nginx" / "nginx.conf").string(), "-e",
                             (scratch / "nginx" / "error.log").string()},
                            (scratch / "nginx" / "stderr.log").string());
        WaitAccepting(CacheAddress, HttpPort);
        std::vector<std::unique_ptr<TChildProcess>> edges;
        std::vector<TViewerGroup> groups = {{OriginAddress, ViewerPort, viewers}};
        for (const auto& address : EdgeAddresses) {
            edges.push_back(std::make_unique<TChildProcess>(
                ServerProgram(),
                std::vector<std::string>{"--bind", address, "--data", (scratch / address).string(),
                                         "--max-connections", connections, "--relay-from",
                                         "http://" + CacheAddress + ":" + std::to_string(HttpPort) +
                                             "/"},
                (scratch / (address + ".log")).string()));
            WaitAccepting(address, ViewerPort);
            groups.push_back({address, ViewerPort, viewers});
        }
        // Edge viewers ask for the cast once their edge holds it.
        const auto castOnEdges = [&] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            for (const auto& address : EdgeAddresses)
                while (!fs::exists(scratch / address / "Load")) {
                    if (std::chrono::steady_clock::now() > deadline)
                        throw std::runtime_error("the edge " + address + " never took the cast");
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
        };
        const TSpreadLoadResult load =
            RunSpreadCastLoad(OriginAddress, FilmerPort, groups, Rate, sections, castOnEdges);

        std::printf("%-12s %10s %12s %12s %10s %10s\n", "server", "identical", "lag p50", "lag p95",
                    "CPU s", "peak MB");
        for (std::size_t g = 0; g < groups.size(); ++g) {
            const TChildProcess& process = g == 0 ? origin : *edges[g - 1];
            std::printf("%-12s %6d/%-3d %9.0f ms %9.0f ms %10.2f %10.1f\n",
                        g == 0 ? "origin" : groups[g].Address.c_str(),
                        load.Groups[g].ViewersComplete, viewers,
                        Percentile(load.Groups[g].LagsMs, 0.5),
                        Percentile(load.Groups[g].LagsMs, 0.95), process.CpuSeconds(),
                        static_cast<double>(process.PeakMemoryKb()) / 1024.0);
            if (load.Groups[g].ViewersComplete != viewers)
                status = 1;
        }
        const TOriginBytes bytes = OriginBytes(scratch / "nginx" / "access.log");
        std::printf("\norigin to the cache: %llu bytes of parts whole (the cast: %lld), %llu in "
                    "ranges (%zu edges x the cast: %lld)\n",
                    static_cast<unsigned long long>(bytes.Whole), static_cast<long long>(castBytes),
                    static_cast<unsigned long long>(bytes.Ranges), EdgeAddresses.size(),
                    static_cast<long long>(castBytes) *
                        static_cast<long long>(EdgeAddresses.size()));
    }
    fs::remove_all(scratch);
    return status;
}
