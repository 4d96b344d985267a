#pragma once

#include "app/UnitLinks.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What a client started with a link or an archive hands to the client that
// already runs with the same settings: the text its command line is read as,
// "nelq://HOST/GAME/" or the archive's absolute path. The running client reads
// it with the command line's own parser, so that a peer on the socket can ask
// for nothing a command line could not.

// Longer than any path the system can open, with room for the scheme.
inline constexpr std::size_t HandOverMessageLimit = 4096 + 64;

// Empty when the request asks for nothing.
std::string HandOverMessage(const CommandLineRequest& request);

// None when the message is too long, holds control characters, names a
// relative path (whose base only the sender knew) or asks for nothing.
std::optional<CommandLineRequest> ReadHandOverMessage(std::string_view message);
