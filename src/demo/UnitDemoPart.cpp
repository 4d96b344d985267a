#include "demo/UnitDemoPart.h"

#include "demo/UnitBZip2.h"
#include "demo/UnitRecording.h"
#include "demo/UnitRecordingInfo.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

void PutLittleEndian32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLittleEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void WriteLittleEndian32(TStream& stream, std::uint32_t value) {
    std::uint8_t bytes[4];
    PutLittleEndian32(bytes, value);
    stream.WriteBuffer(bytes, sizeof bytes);
}

} // namespace

TDemoPartHeader ReadDemoPartHeader(TStream& part) {
    TDemoPartHeader header;
    header.Size = part.Size();
    if (header.Size == 0)
        return header;
    if (header.Size < static_cast<std::int64_t>(DemoPartHeadOffset))
        throw EDemoPartError("Demo part of " + std::to_string(header.Size) +
                             " bytes is shorter than its fixed fields");

    std::vector<std::uint8_t> fixed(DemoPartHeadOffset);
    part.SetPosition(0);
    part.ReadBuffer(fixed.data(), fixed.size());
    header.DurationMs = GetLittleEndian32(fixed.data());
    const char* info = reinterpret_cast<const char*>(fixed.data() + DemoPartInfoOffset);
    header.InfoText.assign(info, strnlen(info, DemoPartInfoSize));
    header.HeadLength = GetLittleEndian32(fixed.data() + DemoPartHeadLengthOffset);
    header.BodyOffset = static_cast<std::int64_t>(DemoPartHeadOffset) + header.HeadLength;
    if (header.BodyOffset > header.Size)
        throw EDemoPartError("Demo part head of " + std::to_string(header.HeadLength) +
                             " bytes runs past the end of the part");
    return header;
}

TDemoPartHeader ReadDemoPartHeader(const std::string& path) {
    TFileStream part(path, TFileStream::TMode::OpenRead);
    return ReadDemoPartHeader(part);
}

std::int64_t DemoPartBodyOffset(const std::string& path) {
    return ReadDemoPartHeader(path).BodyOffset;
}

std::string MakeInfoField(const std::string& commaText) {
    std::string field(DemoPartInfoSize, ' ');
    const std::size_t length = std::min(commaText.size(), DemoPartInfoSize - 1);
    field.replace(0, length, commaText, 0, length);
    field[length] = '\0';
    return field;
}

std::int64_t BuildSection(const std::string& recordingPath, const std::string& targetPath,
                          bool startPoint, std::int64_t& runningTotalMs) {
    TFileStream recording(recordingPath, TFileStream::TMode::OpenRead);
    TFileStream target(targetPath, TFileStream::TMode::Create);

    const TRecordingHead head = ReadRecordingHead(recording);
    const TRecordingInfo info = ReadRecordingInfo(recordingPath, runningTotalMs);
    const std::string infoField =
        MakeInfoField(CommaTextWithin(info.Entries, DemoPartInfoSize - 1));
    runningTotalMs += head.DurationMs;

    TMemoryStream body;
    InflateRecordingBody(recording, body);

    TMemoryStream packedHead;
    if (startPoint) {
        TMemoryStream plainHead;
        plainHead.WriteBuffer(head.Bytes.data(), head.Bytes.size());
        plainHead.SetPosition(0);
        BzipFromStream(plainHead, packedHead);
    }

    WriteLittleEndian32(target, head.DurationMs);
    target.WriteBuffer(infoField.data(), infoField.size());
    WriteLittleEndian32(target, static_cast<std::uint32_t>(packedHead.ByteSize()));
    target.WriteBuffer(packedHead.Memory(), packedHead.ByteSize());
    body.SetPosition(0);
    BzipFromStream(body, target);
    return static_cast<std::int64_t>(DemoPartHeadOffset + packedHead.ByteSize());
}

std::string DummyDemoPart(const std::string& workDirectory) {
    const std::string path = workDirectory + "dummydemo.dat";
    TFileStream created(path, TFileStream::TMode::Create);
    return path;
}
