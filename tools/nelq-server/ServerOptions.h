#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// One thread a core.
std::size_t DefaultServerThreads();

struct TServerOptions {
    std::string BindAddress = "127.0.0.1";
    std::filesystem::path DataDirectory;
    std::optional<std::string> FilmPassword;    // none: any password films
    std::map<std::string, std::string> Viewers; // user -> password; none: no login
    std::uint16_t FilmerPort = 28200;           // 0: any free port
    std::uint16_t ViewerPort = 28100;
    std::optional<std::uint16_t> HttpPort = 28080; // the web page; none: --no-http
    std::size_t MaxConnections = 20000;
    // Slots that viewers never take, so that viewers cannot lock filmers out.
    // A few hundred are plenty: a quarter of a large server would be
    // thousands of viewers turned away for filmers that never come.
    std::size_t FilmerSlots = 256;
    // Threads that serve every filmer and viewer connection; each connection
    // is served by events, not by a thread of its own.
    std::size_t Threads = DefaultServerThreads();
    // A connection must say hello (and a filmer log in) within this time, so
    // that silent connections cannot use up the connection slots.
    std::chrono::milliseconds LoginTimeout = std::chrono::seconds(30);
    // A viewer past its hello that neither sends a command nor takes what it
    // is sent for this long is closed. Generous: a person may be choosing a game.
    std::chrono::milliseconds ViewerIdleTimeout = std::chrono::minutes(10);
    // Edge mode: the casts of the server at this URL ("http://HOST:PORT/",
    // or a cache in front of it), relayed as our own; no filmers here.
    std::optional<std::string> RelayFrom;
    bool Help = false;    // --help: print the usage and serve nothing
    bool Version = false; // --version: print the version and serve nothing
};

// Where the server writes its one line per connection event.
using TServerLog = std::function<void(const std::string&)>;

// The command line of nelq-server; throws std::invalid_argument with the
// reason. Reads the password files it names; the bind address is resolved
// by the server.
TServerOptions ParseServerOptions(const std::vector<std::string>& arguments);

extern const char* const ServerUsage;
