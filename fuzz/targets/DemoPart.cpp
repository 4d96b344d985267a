#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "demo/UnitDemoPart.h"
#include "playback/ReceivedDemoPart.h"

#include <stdexcept>

// A stored "demo_%d.rec" as a server sent it: a whole demo part or a bare
// packet stream, read as the assembly reads it, with what it expands to
// within the caps.
void FuzzDemoPart(const std::uint8_t* data, std::size_t size) {
    TScratchDir scratch;
    const std::string path = scratch / "demo_5.rec";
    WriteFile(path, AsText(data, size));
    try {
        const TDemoPartHeader fields = ReadDemoPartHeader(path);
        FuzzCheck(fields.Size == static_cast<std::int64_t>(size), "part size misread");
        FuzzCheck(fields.BodyOffset <= fields.Size, "body offset beyond the part");
    } catch (const std::runtime_error&) {
    }

    TFileStream part(path, TFileStream::TMode::OpenRead);
    try {
        if (!IsBareBzip2(part)) {
            const auto head = UnpackRecordingHead(part, "demo part");
            FuzzCheck(head.size() <= MaxRecordingHeadSize, "head beyond its cap");
        }
        TMemoryStream packets;
        UnpackPacketStream(part, packets, "demo part");
        FuzzCheck(packets.ByteSize() <= MaxPacketStreamSize, "packet stream beyond its cap");
    } catch (const std::runtime_error&) {
    }
}
