#include "playback/OggFileCallbacks.h"

#include <sys/types.h>

namespace {

std::size_t ReadCallback(void* destination, std::size_t size, std::size_t count, void* source) {
    if (size == 0 || count == 0)
        return 0;
    auto* file = static_cast<std::FILE*>(source);
    const std::size_t bytes = std::fread(destination, 1, size * count, file);
    if (std::ferror(file))
        return 0;
    return bytes / size;
}

int SeekCallback(void* source, ogg_int64_t offset, int origin) {
    const int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    return fseeko(static_cast<std::FILE*>(source), static_cast<off_t>(offset), whence) == 0 ? 0
                                                                                            : -1;
}

int CloseCallback(void* source) {
    return std::fclose(static_cast<std::FILE*>(source)) == 0 ? 0 : -1;
}

long TellCallback(void* source) {
    return static_cast<long>(ftello(static_cast<std::FILE*>(source)));
}

} // namespace

ov_callbacks FileStreamCallbacks() {
    return ov_callbacks{ReadCallback, SeekCallback, CloseCallback, TellCallback};
}

std::FILE* OpenAudioFile(const std::string& path) {
    return std::fopen(path.c_str(), "rb");
}

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
