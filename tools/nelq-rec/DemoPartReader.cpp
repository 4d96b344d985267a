#include "DemoPartReader.h"

#include "demo/UnitBZip2.h"
#include "demo/UnitDemoPart.h"

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

} // namespace

TPacketStreamLocation LocatePacketStream(TStream& part, const std::string& name) {
    const std::int64_t size = part.Size();
    if (size == 0)
        throw std::runtime_error(name +
                                 " is an empty demo part (a fake section): it ends a recording");
    // A whole part whose body is a bzip2 stream; otherwise a bare body.
    try {
        const TDemoPartHeader header = ReadDemoPartHeader(part);
        if (header.BodyOffset == size || StartsWithBZip2Magic(part, header.BodyOffset))
            return {true, header.HeadLength, header.BodyOffset};
    } catch (const EDemoPartError&) {
    }
    if (StartsWithBZip2Magic(part, 0))
        return {false, 0, 0};
    throw std::runtime_error(name + " is not a demo part");
}

void UnpackHead(TStream& part, const TPacketStreamLocation& location, TStream& target) {
    if (location.HeadLength == 0)
        return;
    std::vector<std::uint8_t> packed(location.HeadLength);
    part.SetPosition(static_cast<std::int64_t>(DemoPartHeadOffset));
    part.ReadBuffer(packed.data(), packed.size());
    TMemoryStream head;
    head.WriteBuffer(packed.data(), packed.size());
    head.SetPosition(0);
    BunzipToStream(head, target);
}

void UnpackPackets(TStream& part, const TPacketStreamLocation& location, TStream& target) {
    part.SetPosition(location.BodyOffset);
    BunzipToStream(part, target);
}
