#pragma once

#include "demo/UnitCompression.h"
#include "demo/UnitStreams.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

// The game's demo recording as far as we need it: a 30-byte header (opaque
// bytes, DurationMs, InitialBlockLength), the opaque initial block, and a zlib
// body holding the packet stream. Header and initial block form the head.

inline constexpr std::size_t RecordingHeaderSize = 30;
inline constexpr std::size_t RecordingDurationOffset = 22;
inline constexpr std::size_t RecordingInitialBlockLengthOffset = 26;
inline constexpr int DemoTickMs = 32;

class ERecordingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TRecordingHead {
    std::uint32_t DurationMs = 0;
    std::uint32_t InitialBlockLength = 0;
    std::vector<std::uint8_t> Bytes; // header and initial block
};

// Reads the head of the recording at the stream's start and leaves the stream
// at the body. A recording shorter than its head raises ERecordingError.
TRecordingHead ReadRecordingHead(TStream& recording);

// Demo time that the time ticks of a packet stream cover.
std::int64_t MeasureDemoTime(const std::uint8_t* packets, std::size_t size);

// Length of the payload behind a packet block's header word.
constexpr std::size_t PacketPayloadLength(std::uint16_t header) {
    return (header & 0x0F00) == 0 ? (header & 0xFF) : header;
}
constexpr bool IsTimeTick(std::uint16_t header) {
    return (header >> 8) == 0x20;
}

// Writes a recording body: one zlib stream, by default of stored blocks,
// holding packet streams laid end to end. The head must already stand in the
// target; the body starts at the target's position.
class TRecordingWriter {
public:
    explicit TRecordingWriter(TStream& target, int levelIndex = 0);

    void AppendPacketStream(const std::uint8_t* packets, std::size_t size);
    // Ends the zlib stream; errors are reported here (the destructor also
    // finishes, but silently).
    void Finish() { FBody.Finish(); }

private:
    TCompressionStream FBody;
};
