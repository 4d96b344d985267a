#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "playback/AudioLength.h"
#include "playback/VorbisFileDecoder.h"

#include <vector>

// A section's "audio_%d.ogg" as a server or an archive delivered it: its
// length for the time line, then decoded as the cast audio player does.
void FuzzVorbis(const std::uint8_t* data, std::size_t size) {
    TScratchDir scratch;
    const std::string path = scratch / "audio_3.ogg";
    WriteFile(path, AsText(data, size));
    FuzzCheck(AudioLengthMs(path) >= 0, "a negative length");

    TVorbisFileDecoder decoder;
    if (!decoder.Open(path).empty())
        return;
    FuzzCheck(decoder.Channels() > 0 && decoder.Rate() > 0, "an open file without a format");
    std::vector<std::uint8_t> buffer(8192);
    for (int pass = 0; pass < 2000; ++pass) {
        const long got = decoder.Read(buffer.data(), static_cast<int>(buffer.size()));
        FuzzCheck(got <= static_cast<long>(buffer.size()), "decoded beyond the buffer");
        if (got <= 0)
            break;
    }
}
