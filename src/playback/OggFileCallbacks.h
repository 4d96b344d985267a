#pragma once

#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <string>

// The decoder reads section audio files through these callbacks over a C file
// stream (the datasource is the FILE*). Clearing a decoder opened with them
// closes its file.
ov_callbacks FileStreamCallbacks();

// Opens `path` for reading; nullptr when it cannot be opened.
std::FILE* OpenAudioFile(const std::string& path);

// The library's name for a decoder error code, e.g. "OV_ENOTVORBIS".
std::string OggErrorCodeName(int code);
