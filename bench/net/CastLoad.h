#pragma once

#include <cstdint>
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

// The cast the benchmark films: start points, plain sections and a fake one.
std::vector<TLoadSection> LoadCast();
std::int64_t CastBytes(const std::vector<TLoadSection>& sections);

// One filmer uploading at `rate` bytes per second the way the client does
// (one pass a second, the budget shared by the open parts) and `viewers`
// viewers, each on its own connection taking one message per 250 ms.
TCastLoadResult RunCastLoad(const std::string& address, std::uint16_t filmerPort,
                            std::uint16_t viewerPort, int viewers, std::int32_t rate,
                            const std::vector<TLoadSection>& sections);

// The same bytes at the same rate through the reference relay; returns the
// number of viewers that received all of them.
int RunRelayLoad(const std::string& address, std::uint16_t port, int viewers, std::int32_t rate,
                 std::int64_t bytes);
