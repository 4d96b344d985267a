#pragma once

#include "RandomBytes.h"
#include "ServerHarness.h"
#include "TestSupport.h"

#include "net/UnitFilmerThread.h"
#include "platform/PumpedSyncContext.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

// The game name every filming run in these tests films under.
inline constexpr const char* FilmedGame = "FilmerCast";

// A filming run as the main window drives it: the thread, its directories,
// and every notification it made. The game's recordings and the encoder's
// audio parts appear whole, as finished files do.
class TFilming {
public:
    TFilming(const std::string& host, std::uint16_t port, std::int32_t rate, std::int32_t step,
             const std::string& password = "pw");

    // Pumps the thread's calls until `done` holds; OnPump runs on every round.
    bool Until(const std::function<bool()>& done);
    // Until the cuts begin with `cuts` (later ones may follow at once).
    bool UntilCuts(const std::vector<std::int32_t>& cuts);
    bool UntilFinished();
    bool HasStatus(const std::string& text) const;

    void AddRecording(const std::string& name, std::uint32_t durationMs, std::uint64_t seed);
    void AddDamagedRecording(const std::string& name);
    void AddAudio(std::int32_t section, const std::string& bytes);

    PumpedSyncContext Sync; // first: the thread stops while it still serves the calls
    TTempDir Recordings;
    TTempDir Work;
    TTempDir Staging;
    std::vector<std::string> Statuses;
    std::vector<std::int32_t> Bytes;
    std::vector<std::int32_t> Cuts;
    std::function<void()> OnPump;
    TOwnedThread<TFilmerThread> Thread; // last: stopped while what its handlers fill lives
};

// Sections 0 fake, 1 real, 2 fake, 3 real, 4 fake, made as the game and the
// main window make them; then "Stop Recording" and the upload runs out.
inline constexpr std::array<std::size_t, 5> AudioSizes{9000, 12000, 3000, 15000, 7000};
void FilmTwoRecordings(TFilming& filming);

std::filesystem::path CastDirectory(const TServerHarness& server);
// The thread may end before the server has handled its last messages.
bool UntilCompletedOn(TFilming& filming, const TServerHarness& server);
// Name and content of every file of a cast's directory but its generation.
std::map<std::string, std::string> FilesOf(const std::filesystem::path& directory);
