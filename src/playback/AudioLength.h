#pragma once

#include "playback/AssemblyError.h"

#include <cstdint>
#include <optional>
#include <string>

// Playing time of an Ogg Vorbis file in milliseconds, rounded; none when the
// file is not Ogg Vorbis or tells no usable length. A file that cannot be
// opened at all raises EAssemblyError.
std::optional<std::int32_t> VorbisLengthMs(const std::string& path);

// VorbisLengthMs, with 0 ms for a file that is not Ogg Vorbis: the audio
// player skips such a file too, so the cast's time line stays with what is
// heard. A file that cannot be opened means the store has lost a part it
// should hold.
std::int32_t AudioLengthMs(const std::string& path);
