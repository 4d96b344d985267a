#pragma once

#include "demo/UnitStreams.h"

#include <cstdint>
#include <functional>

// The seek rule shared by the one-way decompressing streams: offset 0 from the
// beginning restarts (through `restart`), moving forward is done by reading and
// discarding, and nothing else is possible. `delivered` is the number of plain
// bytes handed out so far. Returns the new position.
std::int64_t SeekForwardOnly(TStream& stream, std::int64_t offset, TSeekOrigin origin,
                             std::int64_t delivered, const std::function<void()>& restart,
                             const std::function<void()>& fail);
