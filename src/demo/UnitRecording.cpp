#include "demo/UnitRecording.h"

#include <algorithm>
#include <string>

namespace {

std::uint32_t LittleEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

TRecordingHead ReadRecordingHead(TStream& recording) {
    const std::int64_t size = recording.Size();
    if (size < static_cast<std::int64_t>(RecordingHeaderSize))
        throw ERecordingError("Recording is shorter than its " +
                              std::to_string(RecordingHeaderSize) + "-byte header");

    TRecordingHead head;
    std::uint8_t header[RecordingHeaderSize];
    recording.SetPosition(0);
    recording.ReadBuffer(header, sizeof header);
    head.DurationMs = LittleEndian32(header + RecordingDurationOffset);
    head.InitialBlockLength = LittleEndian32(header + RecordingInitialBlockLengthOffset);

    // Checked against the file before anything is allocated for it.
    const std::int64_t headSize = static_cast<std::int64_t>(RecordingHeaderSize) +
                                  static_cast<std::int64_t>(head.InitialBlockLength);
    if (headSize > size)
        throw ERecordingError("Recording head runs past the end of the file (initial block of " +
                              std::to_string(head.InitialBlockLength) + " bytes, file of " +
                              std::to_string(size) + " bytes)");

    head.Bytes.resize(static_cast<std::size_t>(headSize));
    recording.SetPosition(0);
    recording.ReadBuffer(head.Bytes.data(), head.Bytes.size());
    return head;
}

std::int64_t MeasureDemoTime(const std::uint8_t* packets, std::size_t size) {
    std::int64_t totalMs = 0;
    std::size_t position = 0;
    // A block needs its two header bytes; a cut payload is never read.
    while (size >= 2 && position < size - 1) {
        const auto header =
            static_cast<std::uint16_t>(packets[position] | packets[position + 1] << 8);
        position += 2 + std::min(PacketPayloadLength(header), size - position - 2);
        if (IsTimeTick(header))
            totalMs += DemoTickMs;
    }
    return totalMs;
}

TRecordingWriter::TRecordingWriter(TStream& target, int levelIndex) : FBody(levelIndex, target) {}

void TRecordingWriter::AppendPacketStream(const std::uint8_t* packets, std::size_t size) {
    constexpr std::size_t Piece = 4097;
    for (std::size_t done = 0; done < size; done += Piece)
        FBody.WriteBuffer(packets + done, std::min(Piece, size - done));
}
