#pragma once

#include "demo/UnitRecording.h"
#include "demo/UnitStreams.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One rebuilt recording in the game's directory: the head, then one zlib
// stream of stored blocks to which the packet streams of its sections are
// appended. The game reads the file while it grows; the writer hands its
// output to the file in whole 64 kB pieces with plain unbuffered writes, so a
// reader never meets a piece that is only partly there.
class TRebuiltRecording {
public:
    // Creates (or truncates) `path` and writes the head.
    TRebuiltRecording(const std::string& path, const std::vector<std::uint8_t>& head);
    // Ends the zlib stream silently if Finish has not run.
    ~TRebuiltRecording() = default;

    void Append(const TMemoryStream& packets);
    // Ends the zlib stream; reports write failures.
    void Finish() { FWriter.Finish(); }

    const std::string& Path() const { return FFile.FileName(); }

private:
    TFileStream FFile;
    TRecordingWriter FWriter; // declared after the file: finished before it closes
};
