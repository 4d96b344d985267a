// Load benchmark of the casting server: one filmer at 20000 bytes/s and N
// viewers on loopback, against a bare relay of the same bytes (the reference).
#include "CastLoad.h"
#include "ChildProcess.h"
#include "ReferenceRelay.h"

#include "BuildTree.h"
#include "CastClients.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

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

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--relay")
        return RunReferenceRelay(argv[2], static_cast<std::uint16_t>(std::stoi(argv[3])));

    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const fs::path scratch =
        fs::temp_directory_path() / ("nelq-bench-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    const auto sections = LoadCast();
    const std::int64_t castBytes = CastBytes(sections);

    std::printf("nelq-server load: one filmer at %d bytes/s, %zu sections (%lld bytes), viewers "
                "taking one message per 250 ms\n",
                Rate, sections.size(), static_cast<long long>(castBytes));
    std::printf("reference: a bare relay copying the same bytes at the same rate to as many "
                "sockets\n\n");
    std::printf("%8s %10s %10s %7s %10s %10s %12s %10s %10s\n", "viewers", "server s", "relay s",
                "ratio", "server MB", "relay MB", "slowest lag", "identical", "relay ok");
    int status = 0;
    for (const int viewers : {50, 200}) {
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
            relayComplete = RunRelayLoad(Address, RelayPort, viewers, Rate, castBytes);
            relay = {process.CpuSeconds(), process.PeakMemoryKb()};
        }
        std::printf("%8d %10.2f %10.2f %7.2f %10.1f %10.1f %9.0f ms %6d/%-3d %6d/%-3d\n", viewers,
                    server.CpuSeconds, relay.CpuSeconds,
                    relay.CpuSeconds > 0 ? server.CpuSeconds / relay.CpuSeconds : 0.0,
                    static_cast<double>(server.PeakKb) / 1024.0,
                    static_cast<double>(relay.PeakKb) / 1024.0, load.SlowestLagMs,
                    load.ViewersComplete, viewers, relayComplete, viewers);
        if (load.ViewersComplete != viewers)
            status = 1;
    }
    fs::remove_all(scratch);
    return status;
}
