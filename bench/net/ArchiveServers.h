#pragma once

// The two servers the download benchmark compares: nelq-server with its web
// page, and nginx serving a copy of the archive from disk. Each is started
// on the given loopback address and returns once it takes connections; a
// server that exits or stays silent for 30 s throws, naming its log.

#include "ChildProcess.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

struct TRunningServer {
    std::unique_ptr<TChildProcess> Process;
    std::uint16_t FilmerPort = 0; // nelq-server only
    std::uint16_t HttpPort = 0;
};

// Every port free, read back from the server's log.
TRunningServer StartNelqServer(const std::string& address, const std::filesystem::path& data,
                               const std::filesystem::path& log);

// In the foreground, unprivileged, with a private configuration, pid file,
// logs and temporary directories under `directory`; `sendfile on`.
TRunningServer StartNginx(const std::string& program, const std::string& address,
                          const std::filesystem::path& root,
                          const std::filesystem::path& directory);

// The program's path from PATH (and the sbin directories, where Debian puts
// nginx), or a runtime_error naming the Debian package to install.
std::string RequiredProgram(const std::string& name, const std::string& package);
