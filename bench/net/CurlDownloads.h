#pragma once

// Downloads with curl, the reference client for both servers: curl's own
// timing of each, and the memory a server holds for downloads in progress.

#include "ChildProcess.h"

#include <cstdint>
#include <filesystem>
#include <string>

struct TCurlDownload {
    int Status = 0; // HTTP
    std::int64_t Bytes = 0;
    double Seconds = 0; // from the start of the connection to the last byte
};

// Downloads `url` to `output` (/dev/null to drop it). Throws when curl
// fails other than by an HTTP status.
TCurlDownload CurlDownload(const std::string& curl, const std::string& url,
                           const std::string& output, const std::filesystem::path& scratch);

struct TMemoryPerDownload {
    long BeforeKb = 0;
    long PeakKb = 0;
    std::int64_t FewestBytes = 0; // the slowest of the downloads got this far
    double KbPerDownload(int downloads) const {
        return static_cast<double>(PeakKb - BeforeKb) / downloads;
    }
};

// Starts `downloads` downloads of `url` at once, each reading 1 MB/s for
// `seconds`, and samples the server's resident memory before and while
// they run.
TMemoryPerDownload SlowDownloads(const std::string& curl, const std::string& url, int downloads,
                                 int seconds, TChildProcess& server,
                                 const std::filesystem::path& scratch);
