#pragma once

#include "demo/UnitStreams.h"

#include <cstdint>
#include <string>

// Where the packet stream of a stored demo part begins. A viewer stores the
// first part of a rebuilt recording whole and later ones from their body
// offset on (the bzip2 stream alone), so both layouts are accepted.
struct TPacketStreamLocation {
    bool WholePart = false;
    std::uint32_t HeadLength = 0; // compressed head at DemoPartHeadOffset, whole parts only
    std::int64_t BodyOffset = 0;
};

TPacketStreamLocation LocatePacketStream(TStream& part, const std::string& name);

// The plain recording head of a whole part, appended to `target`.
void UnpackHead(TStream& part, const TPacketStreamLocation& location, TStream& target);

// The plain packet stream, appended to `target`.
void UnpackPackets(TStream& part, const TPacketStreamLocation& location, TStream& target);
