#pragma once

#include "demo/UnitStreams.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reading a stored "demo_%d.rec". The section that begins a rebuilt recording
// is stored as a whole demo part (fixed fields, bzip2 head, bzip2 packet
// stream); later sections of the same recording hold the packet stream's bzip2
// stream alone. The data came from the network: every size is checked and
// what it expands to is capped, so a hostile part costs a clear error only.

inline constexpr std::size_t MaxRecordingHeadSize = std::size_t{16} << 20;
inline constexpr std::size_t MaxPacketStreamSize = std::size_t{256} << 20;

// The plain recording head of a whole demo part at the start of `part`;
// leaves `part` at the packet stream. `what` names the part in errors.
std::vector<std::uint8_t> UnpackRecordingHead(TStream& part, const std::string& what);

// Appends the plain packet stream, from the part's position to its end, to
// `packets`.
void UnpackPacketStream(TStream& part, TMemoryStream& packets, const std::string& what);

// Whether `part` starts like a bzip2 stream, as the parts that hold a packet
// stream alone do; a whole demo part starts with its fixed fields. Leaves the
// position at the start.
bool IsBareBzip2(TStream& part);
