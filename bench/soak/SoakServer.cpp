#include "SoakServer.h"
#include "BuildTree.h"

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

TSoakServer::TSoakServer(std::string address, fs::path directory, std::string game)
    : Address(std::move(address)), Directory(std::move(directory)), Game(std::move(game)) {}

fs::path TSoakServer::LogPath() const {
    return Directory / ("server-" + std::to_string(FStarts) + ".log");
}

void TSoakServer::Start() {
    ++FStarts;
    LogRead = 0;
    Process = std::make_unique<TChildProcess>(
        ServerProgram(),
        std::vector<std::string>{"--bind", Address, "--data", (Directory / "casts").string()},
        LogPath().string());
    for (int attempt = 0; attempt < 500; ++attempt) {
        std::ifstream log(LogPath());
        const std::string text((std::istreambuf_iterator<char>(log)),
                               std::istreambuf_iterator<char>());
        if (text.find("listening for filmers") != std::string::npos)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("nelq-server did not start (see " + LogPath().string() + ")");
}

void TSoakServer::Stop() {
    Process.reset();
}

void TSoakServer::NoteFilmer(TEventLog& events) {
    const bool announced = FilmerAnnounced(events);
    const std::uintmax_t stored = StoredState();
    if (announced || stored != Stored)
        events.Add(TSoakEvent::Progress);
    Stored = stored;
}

// Notes each login; true when a section was announced.
bool TSoakServer::FilmerAnnounced(TEventLog& events) {
    std::ifstream log(LogPath(), std::ios::binary);
    log.seekg(static_cast<std::streamoff>(LogRead));
    bool announced = false;
    for (std::string line; std::getline(log, line) && !log.eof();) {
        LogRead += line.size() + 1;
        if (line.find(" filmer: ") == std::string::npos)
            continue;
        if (line.find(" logged in ") != std::string::npos)
            events.Add(TSoakEvent::Reconnection);
        if (line.find(" announced ") != std::string::npos)
            announced = true;
    }
    return announced;
}

// The sizes of the stored parts and what the notes on them say, summed: it
// changes when a part grows or its end is noted, not when a restarted server
// merely reloads the cast.
std::uintmax_t TSoakServer::StoredState() const {
    std::uintmax_t state = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(CastDirectory(), error)) {
        if (entry.path().extension() != ".meta") {
            state += entry.file_size(error);
            continue;
        }
        std::ifstream note(entry.path());
        state += std::hash<std::string>{}(
            std::string(std::istreambuf_iterator<char>(note), std::istreambuf_iterator<char>()));
    }
    return state;
}
