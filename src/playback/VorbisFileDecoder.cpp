#include "playback/VorbisFileDecoder.h"

#include "playback/OggFileCallbacks.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string TVorbisFileDecoder::Open(const std::string& path) {
    Clear();
    std::FILE* file = OpenAudioFile(path);
    if (file == nullptr)
        return "Cannot open file \"" + path + "\". " + std::strerror(errno);
    if (const int code = ov_open_callbacks(file, &FFile, nullptr, 0, FileStreamCallbacks())) {
        // A failed open leaves the file to its caller.
        std::fclose(file);
        return "ov_open_callbacks failed: " + VorbisErrorName(code);
    }
    FOpen = true;
    return {};
}

void TVorbisFileDecoder::Clear() {
    if (FOpen)
        ov_clear(&FFile);
    FOpen = false;
}

int TVorbisFileDecoder::Channels() const {
    const vorbis_info* info = FOpen ? ov_info(const_cast<OggVorbis_File*>(&FFile), -1) : nullptr;
    return info ? info->channels : 0;
}

long TVorbisFileDecoder::Rate() const {
    const vorbis_info* info = FOpen ? ov_info(const_cast<OggVorbis_File*>(&FFile), -1) : nullptr;
    return info ? info->rate : 0;
}

long TVorbisFileDecoder::Read(uint8_t* buffer, int size) {
    int section = 0;
    return ov_read(&FFile, reinterpret_cast<char*>(buffer), size, 0, 2, 1, &section);
}
