#pragma once

#include "CastClients.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TCastLoadResult {
    // Viewer's end of a section after the filmer's end of it, over every
    // viewer and section: the 95th percentile and the slowest.
    double LagP95Ms = 0;
    double LagMaxMs = 0;
    int ViewersComplete = 0; // viewers that got every section byte-identical and the end
    std::string FirstFault;
    // What each viewer was sent in each of the filmer's passes, a pass a
    // second: blocks with their heads and end markers (0 for a pass that
    // only kept the filmer's connection alive).
    std::vector<std::int64_t> PassBytes;
};

// The given share of the values, from the smallest (0.95: the 95th percentile).
double Percentile(std::vector<double> values, double share);

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

// A count of viewers from the command line: a whole number from 1 to 50,000,
// or std::invalid_argument naming the text.
int ViewerCountArgument(const std::string& text);

// Waits until a server accepts connections on the port; throws after 10 s.
void WaitAccepting(const std::string& address, std::uint16_t port);

// Viewers of one server, and what they came to.
struct TViewerGroup {
    std::string Address;
    std::uint16_t Port = 0;
    int Viewers = 0;
};
struct TGroupLoad {
    int ViewersComplete = 0;
    std::vector<double> LagsMs; // per viewer and section received
    std::string FirstFault;
};
struct TSpreadLoadResult {
    std::vector<TGroupLoad> Groups;
    std::vector<std::int64_t> PassBytes; // as in TCastLoadResult
};

// As RunCastLoad, with the viewers spread over servers (edges of the one
// filmed), a crowd for each; `beforeViewers` runs once the filmer has logged in.
TSpreadLoadResult RunSpreadCastLoad(const std::string& filmerAddress, std::uint16_t filmerPort,
                                    const std::vector<TViewerGroup>& groups, std::int32_t rate,
                                    const std::vector<TSectionParts>& sections,
                                    const std::function<void()>& beforeViewers);
