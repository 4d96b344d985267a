#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The host of the "nelq://" links the web page gives: the name the browser
// reached the page by (its Host header) when that names this server (the
// bind address itself, a name resolving to it, or any name when the server
// listens on every address), else the bind address. With the viewer port
// when it is not the one the client dials by default.
std::string WatchHost(const std::optional<std::string>& hostHeader, const std::string& bindAddress,
                      std::uint16_t viewerPort);
