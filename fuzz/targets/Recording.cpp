#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "demo/UnitCompression.h"
#include "demo/UnitDemoPart.h"
#include "demo/UnitRecording.h"
#include "playback/ReceivedDemoPart.h"

#include <stdexcept>

// A finished recording and its info file become a section's demo part, as
// the filmer builds it; whatever part is built must read back as the viewer
// reads it: the same head, the same packet stream.
void FuzzRecording(const std::uint8_t* data, std::size_t size) {
    const auto parts = SplitParts(AsText(data, size), 2);
    TScratchDir scratch;
    const std::string recording = scratch / "game.rec";
    WriteFile(recording, parts[0]);
    if (parts.size() > 1)
        WriteFile(recording + ".log", parts[1]);

    for (const bool startPoint : {true, false}) {
        const std::string target = scratch / (startPoint ? "start.dat" : "next.dat");
        std::int64_t runningTotal = 0;
        std::int64_t bodyOffset = 0;
        try {
            bodyOffset = BuildSection(recording, target, startPoint, runningTotal);
        } catch (const std::runtime_error&) {
            continue; // a clear error is all a bad recording earns
        }
        TFileStream source(recording, TFileStream::TMode::OpenRead);
        const TRecordingHead head = ReadRecordingHead(source);
        TMemoryStream body;
        InflateRecordingBody(source, body);

        const TDemoPartHeader fields = ReadDemoPartHeader(target);
        FuzzCheck(fields.BodyOffset == bodyOffset, "body offset differs from the one returned");
        FuzzCheck(fields.DurationMs == head.DurationMs, "duration differs from the recording's");
        FuzzCheck(fields.InfoText.size() < DemoPartInfoSize, "info text overflows its field");
        TFileStream part(target, TFileStream::TMode::OpenRead);
        if (startPoint)
            FuzzCheck(UnpackRecordingHead(part, "part") == head.Bytes, "head does not read back");
        else
            part.SetPosition(bodyOffset);
        TMemoryStream packets;
        UnpackPacketStream(part, packets, "part");
        FuzzCheck(packets.ByteSize() == body.ByteSize() &&
                      std::equal(packets.Memory(), packets.Memory() + packets.ByteSize(),
                                 body.Memory()),
                  "packet stream does not read back");
    }
}
