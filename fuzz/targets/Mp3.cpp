#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "mixer/Mp3Decoder.h"

#include <vector>

// An MP3 file from the user's music, opened and pulled as the mixer plays a
// track, with a seek as the position slider makes.
void FuzzMp3(const std::uint8_t* data, std::size_t size) {
    TScratchDir scratch;
    const std::string path = scratch / "track.mp3";
    WriteFile(path, AsText(data, size));
    try {
        TMp3Decoder track(path);
        FuzzCheck(track.Rate() > 0 && track.BlockAlign() > 0, "a track without a format");
        FuzzCheck(track.Length() >= 0 && track.Length() % track.BlockAlign() == 0,
                  "length is not whole frames");
        std::vector<std::uint8_t> buffer(4608);
        for (int pass = 0; track.Active() && pass < 2000; ++pass) {
            if (pass == 3)
                track.SetPosition(track.Length() / 2);
            const int got = track.GetData(buffer.data(), static_cast<int>(buffer.size()));
            FuzzCheck(got >= 0 && got <= static_cast<int>(buffer.size()), "decoded beyond the buffer");
            FuzzCheck(got % track.BlockAlign() == 0, "decoded part of a frame");
            FuzzCheck(track.Position() >= 0 && track.Position() <= track.Length(),
                      "position outside the track");
        }
    } catch (const EMp3Decoder&) {
    }
}
