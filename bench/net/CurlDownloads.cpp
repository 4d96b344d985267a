#include "CurlDownloads.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// curl exits with 28 when --max-time ends a download: the slow ones are meant to.
constexpr int CurlTimedOut = 28;

std::vector<std::string> CurlArguments(const std::string& url, const std::string& output) {
    return {"--silent", "--show-error", "--output",
            output,     "--write-out",  "%{http_code} %{size_download} %{time_total}",
            url};
}

TCurlDownload ReadFigures(const fs::path& figures) {
    TCurlDownload download;
    std::ifstream(figures) >> download.Status >> download.Bytes >> download.Seconds;
    return download;
}

} // namespace

TCurlDownload CurlDownload(const std::string& curl, const std::string& url,
                           const std::string& output, const fs::path& scratch) {
    const fs::path figures = scratch / "curl.out";
    const fs::path log = scratch / "curl.log";
    TChildProcess process(curl, CurlArguments(url, output), log.string(), figures.string());
    if (process.Wait() != 0)
        throw std::runtime_error("curl " + url + " failed; see " + log.string());
    return ReadFigures(figures);
}

TMemoryPerDownload SlowDownloads(const std::string& curl, const std::string& url, int downloads,
                                 int seconds, TChildProcess& server, const fs::path& scratch) {
    TMemoryPerDownload memory;
    memory.BeforeKb = server.ResidentKb();
    memory.PeakKb = memory.BeforeKb;
    std::vector<std::unique_ptr<TChildProcess>> readers;
    for (int n = 0; n < downloads; ++n) {
        auto arguments = CurlArguments(url, "/dev/null");
        arguments.insert(arguments.begin(),
                         {"--limit-rate", "1M", "--max-time", std::to_string(seconds)});
        const std::string name = "slow-" + std::to_string(n);
        readers.push_back(std::make_unique<TChildProcess>(curl, arguments,
                                                          (scratch / (name + ".log")).string(),
                                                          (scratch / (name + ".out")).string()));
    }
    const auto running = [&] {
        return std::any_of(readers.begin(), readers.end(), [](auto& r) { return r->Running(); });
    };
    while (running()) {
        memory.PeakKb = std::max(memory.PeakKb, server.ResidentKb());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    memory.FewestBytes = -1;
    for (int n = 0; n < downloads; ++n) {
        const int status = readers[static_cast<std::size_t>(n)]->Wait();
        const fs::path name = scratch / ("slow-" + std::to_string(n));
        if (status != 0 && status != CurlTimedOut)
            throw std::runtime_error("a slow curl failed; see " + name.string() + ".log");
        const std::int64_t bytes = ReadFigures(name.string() + ".out").Bytes;
        memory.FewestBytes = memory.FewestBytes < 0 ? bytes : std::min(memory.FewestBytes, bytes);
    }
    return memory;
}
