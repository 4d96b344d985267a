#include "DemoPartReader.h"

#include "demo/UnitBZip2.h"
#include "demo/UnitDemoPart.h"
#include "demo/UnitRecording.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

bool StartsWithBZip2Magic(TStream& part, std::int64_t offset) {
    char magic[4] = {};
    part.SetPosition(offset);
    return part.Read(magic, sizeof magic) == sizeof magic && std::memcmp(magic, "BZh", 3) == 0 &&
           magic[3] >= '1' && magic[3] <= '9';
}

bool InfoFieldIsText(TStream& part) {
    std::vector<char> field(DemoPartInfoSize);
    part.SetPosition(static_cast<std::int64_t>(DemoPartInfoOffset));
    part.ReadBuffer(field.data(), field.size());
    const auto zero = std::find(field.begin(), field.end(), '\0');
    return zero != field.end() &&
           std::all_of(zero + 1, field.end(), [](char c) { return c == ' '; });
}

std::uint32_t LittleEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

bool IsWholeDemoPart(TStream& part) {
    try {
        const TDemoPartHeader header = ReadDemoPartHeader(part);
        return header.Size > 0 && InfoFieldIsText(part) &&
               (header.BodyOffset == header.Size || StartsWithBZip2Magic(part, header.BodyOffset));
    } catch (const EDemoPartError&) {
        return false;
    }
}

bool IsBareDemoPartBody(TStream& part) {
    return StartsWithBZip2Magic(part, 0);
}

TPacketStreamLocation LocatePacketStream(TStream& part, const std::string& name) {
    const std::int64_t size = part.Size();
    if (size == 0)
        throw std::runtime_error(name +
                                 " is an empty demo part (a fake section): it ends a recording");
    // A whole part whose body is a bzip2 stream; otherwise a bare body.
    if (IsWholeDemoPart(part)) {
        const TDemoPartHeader header = ReadDemoPartHeader(part);
        return {true, header.HeadLength, header.BodyOffset};
    }
    if (IsBareDemoPartBody(part))
        return {false, 0, 0};
    throw std::runtime_error(name + " is not a demo part");
}

std::vector<std::uint8_t> UnpackHead(TStream& part, const TPacketStreamLocation& location,
                                     const std::string& name) {
    if (location.HeadLength == 0)
        throw std::runtime_error(name + " carries no recording head");
    std::vector<std::uint8_t> packed(location.HeadLength);
    part.SetPosition(static_cast<std::int64_t>(DemoPartHeadOffset));
    part.ReadBuffer(packed.data(), packed.size());
    TMemoryStream packedHead, head;
    packedHead.WriteBuffer(packed.data(), packed.size());
    packedHead.SetPosition(0);
    BunzipToStream(packedHead, head);

    const std::size_t size = head.ByteSize();
    if (size < RecordingHeaderSize)
        throw std::runtime_error(name + ": the recording head is cut off (" + std::to_string(size) +
                                 " bytes, shorter than its " + std::to_string(RecordingHeaderSize) +
                                 "-byte header)");
    const std::uint64_t announced =
        RecordingHeaderSize +
        std::uint64_t{LittleEndian32(head.Memory() + RecordingInitialBlockLengthOffset)};
    if (size != announced)
        throw std::runtime_error(name + ": the recording head holds " + std::to_string(size) +
                                 " bytes, but its header announces " + std::to_string(announced));
    return {head.Memory(), head.Memory() + size};
}

void UnpackPackets(TStream& part, const TPacketStreamLocation& location, TStream& target) {
    part.SetPosition(location.BodyOffset);
    BunzipToStream(part, target);
}
