#include "CastAudioFiles.h"

#include "../audio/OggFileCheck.h"
#include "audio/UnitAudioQuality.h"
#include "audio/UnitSectionFile.h"
#include "audio/UnitVorbisSection.h"

#include <vorbis/vorbisfile.h>

#include <cmath>
#include <stdexcept>

void WriteSectionAudio(const std::filesystem::path& directory, int section, int audioIndex,
                       double seconds, double frequency) {
    const TAudioQuality& quality = AudioQuality(audioIndex);
    const auto frames = static_cast<int64_t>(std::lround(seconds * quality.Rate));
    const std::vector<uint8_t> pcm = TonePcm(frames, quality.Channels, frequency, quality.Rate);
    TSectionFile file((directory / ("audio_" + std::to_string(section) + ".ogg")).string());
    TVorbisSection encoder(quality, section + 1, file);
    encoder.Encode(pcm.data(), pcm.size());
    encoder.Finish();
}

std::vector<uint8_t> DecodeWholeFile(const std::filesystem::path& path) {
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0)
        throw std::runtime_error("cannot decode " + path.string());
    std::vector<uint8_t> pcm;
    char chunk[4096];
    int section = 0;
    long got;
    while ((got = ov_read(&file, chunk, sizeof chunk, 0, 2, 1, &section)) > 0)
        pcm.insert(pcm.end(), chunk, chunk + got);
    ov_clear(&file);
    return pcm;
}
