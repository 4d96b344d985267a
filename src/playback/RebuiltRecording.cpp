#include "playback/RebuiltRecording.h"

namespace {

TFileStream& WithHead(TFileStream& file, const std::vector<std::uint8_t>& head) {
    file.WriteBuffer(head.data(), head.size());
    return file;
}

} // namespace

TRebuiltRecording::TRebuiltRecording(const std::string& path, const std::vector<std::uint8_t>& head)
    : FFile(path, TFileStream::TMode::Create), FWriter(WithHead(FFile, head)) {}

void TRebuiltRecording::Append(const TMemoryStream& packets) {
    FWriter.AppendPacketStream(packets.Memory(), packets.ByteSize());
}
