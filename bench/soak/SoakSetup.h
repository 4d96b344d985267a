#pragma once

#include <cstdint>
#include <string>

// Where the soak's parts meet: loopback addresses of their own, so that it
// can run beside the tests.
constexpr const char* SoakGame = "BENCH";
constexpr const char* ServerAddress = "127.0.0.231";
constexpr const char* FilmerRelayAddress = "127.0.0.232"; // the client films to its port 28200
constexpr std::uint16_t FilmerPort = 28200;
constexpr std::uint16_t ViewerPort = 28100;
constexpr int ViewerCount = 3;

inline std::string ViewerRelayAddress(int viewer) {
    return "127.0.0." + std::to_string(233 + viewer);
}
