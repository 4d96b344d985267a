#pragma once

#include "CastClients.h"

#include <cstdint>
#include <string>
#include <vector>

struct TCastLoadResult {
    // Viewer's end of a section after the filmer's end of it, over every
    // viewer and section: the 95th percentile and the slowest.
    double LagP95Ms = 0;
    double LagMaxMs = 0;
    int ViewersComplete = 0; // viewers that got every section byte-identical and the end
    std::string FirstFault;
};

// The cast the benchmark films: start points, plain sections and a fake one.
std::vector<TSectionParts> LoadCast();
std::int64_t CastBytes(const std::vector<TSectionParts>& sections);

// One filmer uploading at `rate` bytes per second the way the client does
// (one pass a second, the budget shared by the open parts) to `viewers`
// viewers that joined the cast before it began, each taking one message per
// 250 ms (an event-driven crowd on two threads).
TCastLoadResult RunCastLoad(const std::string& address, std::uint16_t filmerPort,
                            std::uint16_t viewerPort, int viewers, std::int32_t rate,
                            const std::vector<TSectionParts>& sections);
