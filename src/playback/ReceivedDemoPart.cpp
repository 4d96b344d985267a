#include "playback/ReceivedDemoPart.h"

#include "demo/UnitDemoPart.h"
#include "demo/UnitRecording.h"
#include "playback/AssemblyError.h"
#include "playback/StrictBunzip.h"

namespace {

TDemoPartHeader ReadFixedFields(TStream& part, const std::string& what) {
    try {
        return ReadDemoPartHeader(part);
    } catch (const EDemoPartError& error) {
        throw EAssemblyError(what + " is not a whole demo part: " + error.what());
    }
}

std::uint32_t LittleEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The game reads the head by its own length fields, so they must describe
// exactly the bytes that were sent.
void CheckRecordingHead(const TMemoryStream& head, const std::string& what) {
    const std::size_t size = head.ByteSize();
    const bool fits = size >= RecordingHeaderSize &&
                      size - RecordingHeaderSize ==
                          LittleEndian32(head.Memory() + RecordingInitialBlockLengthOffset);
    if (!fits)
        throw EAssemblyError(what +
                             " carries a recording head whose length fields do not match "
                             "its " +
                             std::to_string(size) + " bytes");
}

} // namespace

std::vector<std::uint8_t> UnpackRecordingHead(TStream& part, const std::string& what) {
    const TDemoPartHeader fields = ReadFixedFields(part, what);
    if (fields.HeadLength == 0)
        throw EAssemblyError(what + " should begin a recording but carries no recording head");
    TMemoryStream head;
    BunzipStrict(part, fields.HeadLength, MaxRecordingHeadSize, head, what + " (recording head)");
    CheckRecordingHead(head, what);
    part.SetPosition(fields.BodyOffset);
    return {head.Memory(), head.Memory() + head.ByteSize()};
}

void UnpackPacketStream(TStream& part, TMemoryStream& packets, const std::string& what) {
    const std::int64_t length = part.Size() - part.Position();
    BunzipStrict(part, length, MaxPacketStreamSize, packets, what + " (packet stream)");
}
