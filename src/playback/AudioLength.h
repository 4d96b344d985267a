#pragma once

#include "playback/AssemblyError.h"

#include <cstdint>
#include <string>

// Playing time of an Ogg Vorbis file in milliseconds, rounded. A file that is
// not Ogg Vorbis or tells no usable length counts 0 ms: the audio player skips
// such a file too, so the cast's time line stays with what is heard. A file
// that cannot be opened at all raises EAssemblyError: the store has lost a
// part it should hold.
std::int32_t AudioLengthMs(const std::string& path);
