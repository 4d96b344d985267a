#pragma once

#include <cstdint>

// Splits interleaved signed little-endian PCM into one float array per channel
// (scaled to -1..1), as the Vorbis analysis buffer wants it. A trailing
// partial frame is ignored. Returns the number of frames converted.
int ConvertToPlanar(float** buffer, const uint8_t* data, int size, int channels, int bits);
