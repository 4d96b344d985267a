#pragma once

#include "playback/AssemblyError.h"

#include <cstdint>
#include <string>

// Playing time of an Ogg Vorbis file in milliseconds, rounded. A file that is
// missing, is not Ogg Vorbis or claims an impossible length raises
// EAssemblyError: a section's audio decides where the cast's time line goes,
// so a guess would shift every later section.
std::int32_t AudioLengthMs(const std::string& path);
