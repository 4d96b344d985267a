#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TLoadSection {
    std::string Demo;
    std::int32_t BodyOffset = 0;
    std::string Audio;
};

struct TCastLoadResult {
    double SlowestLagMs = 0; // viewer's end of a section after the filmer's end of it
    int ViewersComplete = 0; // viewers that got every section byte-identical and the end
    double FilmingSeconds = 0;
};

// Waits until a server accepts connections on the port; throws after 10 s.
void WaitAccepting(const std::string& address, std::uint16_t port);

// The cast the benchmark films: start points, plain sections and a fake one.
std::vector<TLoadSection> LoadCast();
std::int64_t CastBytes(const std::vector<TLoadSection>& sections);

// One filmer uploading at `rate` bytes per second the way the client does
// (one pass a second, the budget shared by the open parts) and `viewers`
// viewers, each on its own connection taking one message per 250 ms.
TCastLoadResult RunCastLoad(const std::string& address, std::uint16_t filmerPort,
                            std::uint16_t viewerPort, int viewers, std::int32_t rate,
                            const std::vector<TLoadSection>& sections);

// Viewers of one server, and what they came to.
struct TViewerGroup {
    std::string Address;
    std::uint16_t Port = 0;
    int Viewers = 0;
};
struct TGroupLoad {
    int ViewersComplete = 0;
    std::vector<double> LagsMs; // per viewer and section received
};
struct TSpreadLoadResult {
    std::vector<TGroupLoad> Groups;
    double FilmingSeconds = 0;
};

// As RunCastLoad, with the viewers spread over servers (edges of the one
// filmed); `beforeViewers` runs once the filmer has logged in.
TSpreadLoadResult RunSpreadCastLoad(const std::string& filmerAddress, std::uint16_t filmerPort,
                                    const std::vector<TViewerGroup>& groups, std::int32_t rate,
                                    const std::vector<TLoadSection>& sections,
                                    const std::function<void()>& beforeViewers);

// The same bytes at the same rate through the reference relay; returns the
// number of viewers that received all of them.
int RunRelayLoad(const std::string& address, std::uint16_t port, int viewers, std::int32_t rate,
                 std::int64_t bytes);
