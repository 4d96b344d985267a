#pragma once

#include <array>
#include <cstdint>
#include <string>

// One selectable audio quality: mode 1 is the managed-bitrate encoder set-up,
// mode 0 the quality-based one (its bitrate only shows in the list text).
struct TAudioQuality {
    uint8_t Mode;
    int32_t Rate;
    int32_t Bitrate;
    int32_t Channels;
};

inline constexpr std::array<TAudioQuality, 6> AudioQualities{{
    {0, 11025, 24000, 1},
    {1, 11025, 20000, 1},
    {1, 11025, 24000, 2},
    {1, 16000, 20000, 1},
    {1, 16000, 24000, 2},
    {1, 22050, 20000, 1},
}};

// The stored index can be anything (the list stores -1 when nothing is
// selected); an index outside the table means the first entry.
int ValidAudioIndex(int audioIndex);
const TAudioQuality& AudioQuality(int audioIndex);

// The list text, e.g. "11025 Hz, 24 kbit, Mono [LOW CPU USAGE]".
std::string AudioQualityText(const TAudioQuality& quality);

// The PCM wave format every captured packet is in: 16-bit signed little-endian,
// channels interleaved. Same fields as the Windows WAVEFORMATEX record.
struct TRecordingFormat {
    uint16_t FormatTag = 1;
    uint16_t Channels = 0;
    uint32_t SamplesPerSec = 0;
    uint32_t AvgBytesPerSec = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 16;
    uint16_t ExtraSize = 0;
};

TRecordingFormat MakeRecordingFormat(const TAudioQuality& quality);
