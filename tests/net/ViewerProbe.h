#pragma once

#include "net/UnitViewerThread.h"
#include "platform/PumpedSyncContext.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// A viewer thread with a scratch streams directory, quick timings, and every
// event it raises recorded on the test's (main) thread. The After* hooks run
// after an event was recorded, to play the main window's part.
class TViewerProbe {
public:
    struct TProgress {
        std::int32_t Slot, Section, Type, Received, Length;
    };

    TViewerProbe(const std::string& name, const std::string& address, std::uint16_t port);
    ~TViewerProbe();

    // Pumps the thread's calls until `done` holds (generous deadline).
    bool WaitFor(const std::function<bool()>& done);
    bool HasStatus(const std::string& text) const;
    int CountStatus(const std::string& text) const;
    std::string File(const std::string& game, const std::string& name) const;

    const std::filesystem::path Scratch;
    const std::string Streams; // Scratch/streams/

    std::vector<std::string> Status;
    std::vector<std::vector<std::string>> GameLists;
    std::vector<std::vector<std::string>> SectionLists;
    std::vector<TProgress> Progress;
    std::vector<std::pair<std::int32_t, std::int32_t>> Completed; // section, demo tag
    int AuthAsked = 0;
    int Ended = 0;

    std::function<void(const std::vector<std::string>&)> AfterGames;
    std::function<void(const std::vector<std::string>&)> AfterSections;
    std::function<void(std::int32_t section)> AfterComplete;
    std::function<void()> AfterAuth;

    PumpedSyncContext Sync;
    TViewerThread Viewer; // last: stopped before what its handlers touch goes
};

// Hands the game and start section to the thread and requests the cast.
void RequestCast(TViewerThread& viewer, const std::string& game, std::int32_t start,
                 bool audioOnly = false);
