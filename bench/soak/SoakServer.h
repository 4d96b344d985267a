#pragma once

#include "../net/ChildProcess.h"
#include "EventLog.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

// The soak's casting server: a nelq-server process on one data directory
// that can go down and start again (it reloads its casts), with one log per
// start. It notes the filmer's logins, and its progress: a section
// announced, or a change of the stored files (a part grew or ended).
class TSoakServer {
public:
    TSoakServer(std::string address, std::filesystem::path directory, std::string game);

    void Start(); // returns once it listens
    void Stop();
    bool Running() const { return Process != nullptr; }

    // Adds to `events` what the filmer did since the last call: a
    // Reconnection per login, a Progress when its cast moved on.
    void NoteFilmer(TEventLog& events);

    std::filesystem::path CastDirectory() const { return Directory / "casts" / Game; }
    int Starts() const { return FStarts; }

private:
    std::filesystem::path LogPath() const;
    bool FilmerAnnounced(TEventLog& events);
    std::uintmax_t StoredState() const;

    const std::string Address;
    const std::filesystem::path Directory;
    const std::string Game;
    std::unique_ptr<TChildProcess> Process;
    int FStarts = 0;
    std::uintmax_t LogRead = 0; // bytes of the current log looked at
    std::uintmax_t Stored = 0;  // StoredState when last looked at
};
