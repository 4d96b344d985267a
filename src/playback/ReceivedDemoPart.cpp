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

// The game reads the head by its own length fields, so they must describe
// exactly the bytes that were sent.
std::vector<std::uint8_t> CheckedRecordingHead(TMemoryStream& plain, const std::string& what) {
    try {
        TRecordingHead head = ReadRecordingHead(plain);
        if (head.Bytes.size() == plain.ByteSize())
            return std::move(head.Bytes);
    } catch (const ERecordingError&) {
        // Reported below with the part's name.
    }
    throw EAssemblyError(what + " carries a recording head whose length fields do not match its " +
                         std::to_string(plain.ByteSize()) + " bytes");
}

} // namespace

std::vector<std::uint8_t> UnpackRecordingHead(TStream& part, const std::string& what) {
    const TDemoPartHeader fields = ReadFixedFields(part, what);
    if (fields.HeadLength == 0)
        throw EAssemblyError(what + " should begin a recording but carries no recording head");
    TMemoryStream head;
    BunzipStrict(part, fields.HeadLength, MaxRecordingHeadSize, head, what + " (recording head)");
    part.SetPosition(fields.BodyOffset);
    return CheckedRecordingHead(head, what);
}

void UnpackPacketStream(TStream& part, TMemoryStream& packets, const std::string& what) {
    const std::int64_t length = part.Size() - part.Position();
    BunzipStrict(part, length, MaxPacketStreamSize, packets, what + " (packet stream)");
}

bool IsBareBzip2(TStream& part) {
    char magic[3] = {};
    part.SetPosition(0);
    const bool bare = part.Read(magic, sizeof magic) == sizeof magic && magic[0] == 'B' &&
                      magic[1] == 'Z' && magic[2] == 'h';
    part.SetPosition(0);
    return bare;
}
