#include "ToneOgg.h"

#include "audio/UnitAudioQuality.h"
#include "audio/UnitSectionFile.h"
#include "audio/UnitVorbisSection.h"

#include <cmath>
#include <vector>

void WriteOggFile(const std::string& path, std::int32_t ms) {
    const TAudioQuality& quality = AudioQualities[0];
    const std::int64_t frames = std::int64_t{quality.Rate} * ms / 1000;
    std::vector<std::uint8_t> pcm(static_cast<std::size_t>(frames) * 2);
    for (std::int64_t i = 0; i < frames; ++i) {
        const auto sample =
            static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440.0 * i / quality.Rate));
        pcm[2 * i] = static_cast<std::uint8_t>(sample & 0xFF);
        pcm[2 * i + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
    }
    TSectionFile file(path);
    TVorbisSection encoder(quality, 1, file);
    encoder.Encode(pcm.data(), pcm.size());
    encoder.Finish();
}
