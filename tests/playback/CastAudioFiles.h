#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

// The audio quality entry of 22050 Hz mono.
inline constexpr int MonoIndex = 5;

// Writes "audio_<section>.ogg" in `directory` as the filming side's encoder
// does: a tone of `seconds` in the given quality entry.
void WriteSectionAudio(const std::filesystem::path& directory, int section, int audioIndex,
                       double seconds, double frequency = 441);

// The whole file decoded on its own, as 16-bit interleaved PCM.
std::vector<uint8_t> DecodeWholeFile(const std::filesystem::path& path);
