#include "audio/UnitAudioQuality.h"

#include <cstdio>

int ValidAudioIndex(int audioIndex) {
    return audioIndex >= 0 && audioIndex < static_cast<int>(AudioQualities.size()) ? audioIndex : 0;
}

const TAudioQuality& AudioQuality(int audioIndex) {
    return AudioQualities[static_cast<size_t>(ValidAudioIndex(audioIndex))];
}

std::string AudioQualityText(const TAudioQuality& quality) {
    const char* channelWord = quality.Channels == 1   ? "Mono"
                              : quality.Channels == 2 ? "Stereo"
                                                      : "?";
    const char* cpuNote = quality.Mode == 0   ? "[LOW CPU USAGE]"
                          : quality.Mode == 1 ? "[HIGH CPU USAGE]"
                                              : "";
    char text[96];
    std::snprintf(text, sizeof text, "%d Hz, %d kbit, %s %s", static_cast<int>(quality.Rate),
                  static_cast<int>(quality.Bitrate / 1000), channelWord, cpuNote);
    return text;
}

TRecordingFormat MakeRecordingFormat(const TAudioQuality& quality) {
    TRecordingFormat format;
    format.Channels = static_cast<uint16_t>(quality.Channels);
    format.SamplesPerSec = static_cast<uint32_t>(quality.Rate);
    format.BlockAlign = static_cast<uint16_t>(quality.Channels * 2);
    format.AvgBytesPerSec = format.SamplesPerSec * format.BlockAlign;
    return format;
}
