#include "ArchiveServers.h"

#include "BuildTree.h"
#include "LoopbackSockets.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr auto StartDeadline = std::chrono::seconds(30);

void WaitUntilServing(TChildProcess& process, const fs::path& log,
                      const std::function<bool()>& serving) {
    const auto deadline = std::chrono::steady_clock::now() + StartDeadline;
    while (!serving()) {
        if (!process.Running())
            throw std::runtime_error("the server exited at its start; see " + log.string());
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("the server did not come up in 30 s; see " + log.string());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool Accepts(const std::string& address, std::uint16_t port) {
    const sockaddr_in endpoint = Endpoint(address, port);
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected =
        ::connect(socket, reinterpret_cast<const sockaddr*>(&endpoint), sizeof(endpoint)) == 0;
    ::close(socket);
    return connected;
}

// nginx names no port it was given as 0: take a free one and hand it over.
std::uint16_t FreePort(const std::string& address) {
    const int socket = Listen(address, 0, 1);
    if (socket < 0)
        throw std::runtime_error("cannot listen on " + address);
    const std::uint16_t port = LocalPort(socket);
    ::close(socket);
    return port;
}

std::string NginxConfiguration(const std::string& address, std::uint16_t port, const fs::path& root,
                               const fs::path& directory) {
    const std::string temp = (directory / "temp").string();
    std::ostringstream text;
    text << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
         << "pid " << (directory / "nginx.pid").string() << ";\n"
         << "error_log " << (directory / "error.log").string() << ";\n"
         << "events { worker_connections 256; }\n"
         << "http {\n  access_log off;\n  sendfile on;\n  default_type application/zip;\n"
         << "  client_body_temp_path " << temp << "/body;\n"
         << "  proxy_temp_path " << temp << "/proxy;\n"
         << "  fastcgi_temp_path " << temp << "/fastcgi;\n"
         << "  uwsgi_temp_path " << temp << "/uwsgi;\n"
         << "  scgi_temp_path " << temp << "/scgi;\n"
         << "  server {\n    listen " << address << ":" << port << ";\n"
         << "    root " << root.string() << ";\n  }\n}\n";
    return text.str();
}

} // namespace

TRunningServer StartNelqServer(const std::string& address, const fs::path& data,
                               const fs::path& log) {
    TRunningServer server;
    server.Process = std::make_unique<TChildProcess>(
        ServerProgram(),
        std::vector<std::string>{"--bind", address, "--data", data.string(), "--filmer-port", "0",
                                 "--viewer-port", "0", "--http-port", "0"},
        log.string());
    const std::string listening = "listening for filmers on " + address + ":%hu";
    const std::string serving = "serving the web page on http://" + address + ":%hu/";
    WaitUntilServing(*server.Process, log, [&] {
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) {
            const auto at = line.find("listening for filmers");
            const auto web = line.find("serving the web page");
            if (at != std::string::npos)
                std::sscanf(line.c_str() + at, listening.c_str(), &server.FilmerPort);
            if (web != std::string::npos)
                std::sscanf(line.c_str() + web, serving.c_str(), &server.HttpPort);
        }
        return server.FilmerPort != 0 && server.HttpPort != 0;
    });
    return server;
}

TRunningServer StartNginx(const std::string& program, const std::string& address,
                          const fs::path& root, const fs::path& directory) {
    fs::remove_all(directory);
    fs::create_directories(directory / "temp");
    TRunningServer server;
    server.HttpPort = FreePort(address);
    const fs::path configuration = directory / "nginx.conf";
    std::ofstream(configuration) << NginxConfiguration(address, server.HttpPort, root, directory);
    const fs::path log = directory / "stderr.log";
    // -e: the error log before the configuration is read, which by default is under /var/log.
    server.Process = std::make_unique<TChildProcess>(
        program,
        std::vector<std::string>{"-p", directory.string() + "/", "-c", configuration.string(), "-e",
                                 (directory / "error.log").string()},
        log.string());
    WaitUntilServing(*server.Process, directory / "error.log",
                     [&] { return Accepts(address, server.HttpPort); });
    return server;
}

std::string RequiredProgram(const std::string& name, const std::string& package) {
    const char* path = std::getenv("PATH");
    std::istringstream directories(std::string(path ? path : "") + ":/usr/sbin:/sbin");
    for (std::string directory; std::getline(directories, directory, ':');) {
        const fs::path candidate = fs::path(directory) / name;
        if (!directory.empty() && ::access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
    }
    throw std::runtime_error(name + " is not installed (Debian package " + package +
                             "; scripts/install-deps installs it)");
}
