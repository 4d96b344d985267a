#pragma once

#include "RecordingGenerator.h"

#include "demo/UnitRecording.h"
#include "demo/UnitStreams.h"

#include <memory>
#include <string>

// A rebuilt recording written as the client's section assembly writes it: the
// head, then packet streams through a level-0 zlib writer that hands the file
// 64 KiB at a time, finished only when the recording ends.
class TRebuiltRecordingWriter {
public:
    TRebuiltRecordingWriter(const std::string& path, const TGeneratedRecording& recording)
        : FFile(path, TFileStream::TMode::Create) {
        FFile.WriteBuffer(recording.Head.data(), recording.Head.size());
        FWriter = std::make_unique<TRecordingWriter>(FFile);
    }
    void Append(const std::vector<std::uint8_t>& packets) {
        FWriter->AppendPacketStream(packets.data(), packets.size());
    }
    void Finish() {
        FWriter->Finish();
        FWriter.reset();
    }

private:
    TFileStream FFile;
    std::unique_ptr<TRecordingWriter> FWriter;
};
