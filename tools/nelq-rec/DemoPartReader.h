#pragma once

#include "demo/UnitStreams.h"

#include <cstdint>
#include <string>
#include <vector>

// Where the packet stream of a stored demo part begins. A viewer stores the
// first part of a rebuilt recording whole and later ones from their body
// offset on (the bzip2 stream alone), so both layouts are accepted.
struct TPacketStreamLocation {
    bool WholePart = false;
    std::uint32_t HeadLength = 0; // compressed head at DemoPartHeadOffset, whole parts only
    std::int64_t BodyOffset = 0;
};

TPacketStreamLocation LocatePacketStream(TStream& part, const std::string& name);

// Whether the stream holds a whole demo part: the fixed fields, an info field
// of text, a zero byte and blanks, and a bzip2 stream (or nothing) at the
// body offset.
bool IsWholeDemoPart(TStream& part);
// Whether the stream is a bare body, the bzip2 stream alone.
bool IsBareDemoPartBody(TStream& part);

// The plain recording head of a whole part that carries one, checked against
// the 30-byte header and the initial block it announces: a cut-off or empty
// head raises instead of making an unplayable recording.
std::vector<std::uint8_t> UnpackHead(TStream& part, const TPacketStreamLocation& location,
                                     const std::string& name);

// The plain packet stream, appended to `target`.
void UnpackPackets(TStream& part, const TPacketStreamLocation& location, TStream& target);
