#pragma once

// Many scripted viewers at once, each a coroutine on a few threads rather
// than a thread of its own, so that thousands fit in one process: the
// server's crowd test and the load benchmark watch a live cast with them.

#include "CastClients.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TCrowdPlan {
    std::string Address;
    std::uint16_t Port = 0;
    std::string Game;
    int Viewers = 0;
    // The cast as filmed: each viewer must receive exactly its streams.
    std::vector<TSectionParts> Sections;
    // A pause after each message a viewer reads (a viewer that plays the
    // cast as it comes); zero reads as fast as the server sends.
    std::chrono::milliseconds Tick{0};
    int Threads = 1;
};

struct TCrowdResult {
    // Viewers that received every section byte-identical and the cast's end.
    int Complete = 0;
    // Per viewer and section: when its last stream ended (none if it did not).
    std::vector<std::vector<std::chrono::steady_clock::time_point>> SectionDone;
    // The first fault a viewer met, for the report.
    std::string FirstFault;
};

// The demo stream a viewer of the whole cast from section 0 receives of
// section `n`: the whole part where a recording begins, else its body.
std::string ViewedDemoStream(const std::vector<TSectionParts>& sections, std::size_t n);

class TViewerCrowd {
public:
    // Connects the viewers one after another and has each request the game
    // from section 0.
    explicit TViewerCrowd(TCrowdPlan plan);
    ~TViewerCrowd(); // waits for the viewers
    TViewerCrowd(const TViewerCrowd&) = delete;
    TViewerCrowd& operator=(const TViewerCrowd&) = delete;

    // Viewers whose request has gone out.
    int Requested() const;
    // Waits until every viewer is done (the cast's end or a fault).
    TCrowdResult Finish();

private:
    struct TState;
    std::unique_ptr<TState> State;
};
