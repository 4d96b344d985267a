// Load benchmark of the casting server: one filmer at 20000 bytes/s and N
// viewers of the live cast on loopback, against a bare relay of the same
// bytes to as many sockets (the reference), for a row of viewer counts.
#include "CastLoad.h"
#include "ChildProcess.h"
#include "ReferenceRelay.h"

#include "BuildTree.h"
#include "DescriptorLimit.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const Address = "127.0.0.40";
constexpr std::uint16_t FilmerPort = 28200;
constexpr std::uint16_t ViewerPort = 28100;
constexpr std::uint16_t RelayPort = 28300;
constexpr std::int32_t Rate = 20000;

struct TFigures {
    double CpuSeconds = 0;
    long PeakKb = 0;
};

double Megabytes(long kilobytes) {
    return static_cast<double>(kilobytes) / 1024.0;
}

} // namespace

// bench_net_load [VIEWERS...]: the rows to measure (default 100 1000 5000 10000).
int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--relay") {
        RaiseDescriptorLimit();
        return RunReferenceRelay(argv[2], static_cast<std::uint16_t>(std::stoi(argv[3])));
    }
    std::vector<int> rows{100, 1000, 5000, 10000};
    if (argc > 1) {
        rows.clear();
        try {
            for (int i = 1; i < argc; ++i)
                rows.push_back(ViewerCountArgument(argv[i]));
        } catch (const std::invalid_argument& error) {
            std::fprintf(stderr, "bench_net_load: %s\nusage: bench_net_load [VIEWERS...]\n",
                         error.what());
            return 2;
        }
    }
    // The viewers' sockets are this process's descriptors.
    const auto descriptors = RaiseDescriptorLimit();
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const fs::path scratch =
        fs::temp_directory_path() / ("nelq-bench-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    const auto sections = LoadCast();
    const std::int64_t castBytes = CastBytes(sections);

    std::printf("nelq-server load: one filmer at %d bytes/s, %zu sections (%lld bytes), viewers "
                "of the live cast taking one message per 250 ms\n",
                Rate, sections.size(), static_cast<long long>(castBytes));
    std::printf("reference: a bare event-driven relay of as many bytes in the same passes to as "
                "many sockets; descriptors here: %llu\n\n",
                static_cast<unsigned long long>(descriptors));
    std::printf("%8s %9s %9s %6s %10s %9s %9s %9s %12s %12s\n", "viewers", "server s", "relay s",
                "ratio", "server MB", "relay MB", "lag p95", "lag max", "identical", "relay ok");
    int status = 0;
    for (const int viewers : rows) {
        const fs::path data = scratch / ("data-" + std::to_string(viewers));
        TFigures server;
        TCastLoadResult load;
        {
            TChildProcess process(ServerProgram(), {"--bind", Address, "--data", data.string()},
                                  (scratch / "server.log").string());
            WaitAccepting(Address, ViewerPort);
            load = RunCastLoad(Address, FilmerPort, ViewerPort, viewers, Rate, sections);
            server = {process.CpuSeconds(), process.PeakMemoryKb()};
        }
        TFigures relay;
        int relayComplete = 0;
        {
            TChildProcess process(self, {"--relay", Address, std::to_string(RelayPort)},
                                  (scratch / "relay.log").string());
            relayComplete = RunRelayLoad(Address, RelayPort, viewers, load.PassBytes);
            relay = {process.CpuSeconds(), process.PeakMemoryKb()};
        }
        std::printf("%8d %9.2f %9.2f %6.2f %10.1f %9.1f %6.0f ms %6.0f ms %6d/%-5d %6d/%-5d\n",
                    viewers, server.CpuSeconds, relay.CpuSeconds,
                    relay.CpuSeconds > 0 ? server.CpuSeconds / relay.CpuSeconds : 0.0,
                    Megabytes(server.PeakKb), Megabytes(relay.PeakKb), load.LagP95Ms,
                    load.LagMaxMs, load.ViewersComplete, viewers, relayComplete, viewers);
        if (!load.FirstFault.empty())
            std::printf("         first fault: %s\n", load.FirstFault.c_str());
        std::fflush(stdout);
        if (load.ViewersComplete != viewers)
            status = 1;
    }
    fs::remove_all(scratch);
    return status;
}
