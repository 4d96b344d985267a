#include "playback/VorbisFileDecoder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
size_t ReadFile(void* destination, size_t size, size_t count, void* source) {
    if (size == 0 || count == 0)
        return 0;
    auto* file = static_cast<std::FILE*>(source);
    const size_t bytes = std::fread(destination, 1, size * count, file);
    return std::ferror(file) ? 0 : bytes / size;
}

int SeekFile(void* source, ogg_int64_t offset, int origin) {
    static constexpr int Whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2)
        return -1;
    return ::fseeko(static_cast<std::FILE*>(source), offset, Whence[origin]) == 0 ? 0 : -1;
}

int CloseFile(void* source) {
    return std::fclose(static_cast<std::FILE*>(source)) == 0 ? 0 : -1;
}

long TellFile(void* source) {
    return static_cast<long>(::ftello(static_cast<std::FILE*>(source)));
}

constexpr ov_callbacks FileCallbacks{ReadFile, SeekFile, CloseFile, TellFile};
} // namespace

std::string VorbisErrorName(int code) {
    switch (code) {
    case OV_FALSE:
        return "OV_FALSE";
    case OV_EOF:
        return "OV_EOF";
    case OV_HOLE:
        return "OV_HOLE";
    case OV_EREAD:
        return "OV_EREAD";
    case OV_EFAULT:
        return "OV_EFAULT";
    case OV_EIMPL:
        return "OV_EIMPL";
    case OV_EINVAL:
        return "OV_EINVAL";
    case OV_ENOTVORBIS:
        return "OV_ENOTVORBIS";
    case OV_EBADHEADER:
        return "OV_EBADHEADER";
    case OV_EVERSION:
        return "OV_EVERSION";
    case OV_ENOTAUDIO:
        return "OV_ENOTAUDIO";
    case OV_EBADPACKET:
        return "OV_EBADPACKET";
    case OV_EBADLINK:
        return "OV_EBADLINK";
    case OV_ENOSEEK:
        return "OV_ENOSEEK";
    default:
        return "Unknown";
    }
}

std::string TVorbisFileDecoder::Open(const std::string& path) {
    Clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return "Cannot open file \"" + path + "\". " + std::strerror(errno);
    if (const int code = ov_open_callbacks(file, &FFile, nullptr, 0, FileCallbacks)) {
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
