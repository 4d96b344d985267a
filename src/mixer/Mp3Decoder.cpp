#include "mixer/Mp3Decoder.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {
void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

std::string CannotDecode(const std::string& path, const std::string& why) {
    return "Cannot play \"" + path + "\": " + why;
}
} // namespace

TMp3Decoder::TMp3Decoder(const std::string& path) {
    InitLibrary();
    int error = MPG123_OK;
    FHandle = mpg123_new(nullptr, &error);
    if (!FHandle)
        throw EMp3Decoder(CannotDecode(path, mpg123_plain_strerror(error)));
    try {
        // Errors come back to the caller; the library must not print them.
        mpg123_param(FHandle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
        // Decode to 16-bit samples at whatever rate and channel count the file has.
        mpg123_format_none(FHandle);
        const long* rates = nullptr;
        size_t count = 0;
        mpg123_rates(&rates, &count);
        for (size_t i = 0; i < count; ++i)
            mpg123_format(FHandle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);

        if (mpg123_open(FHandle, path.c_str()) != MPG123_OK)
            throw EMp3Decoder(CannotDecode(path, mpg123_strerror(FHandle)));
        long rate = 0;
        int channels = 0, encoding = 0;
        if (mpg123_getformat(FHandle, &rate, &channels, &encoding) != MPG123_OK)
            throw EMp3Decoder(CannotDecode(path, "it is not an MP3 file"));
        FRate = static_cast<int32_t>(rate);
        FChannels = channels;
        // The whole track comes out in the format it starts in: a part of
        // another rate or channel count (files joined from different sources)
        // is converted by the library instead of changing format midway.
        mpg123_format_none(FHandle);
        mpg123_format(FHandle, rate, channels, MPG123_ENC_SIGNED_16);
        // Scanning the whole file gives the exact length, also of files without
        // a length header and of cut-off files.
        if (mpg123_scan(FHandle) != MPG123_OK)
            throw EMp3Decoder(CannotDecode(path, mpg123_strerror(FHandle)));
        const off_t frames = mpg123_length(FHandle);
        if (frames <= 0)
            throw EMp3Decoder(CannotDecode(path, "it holds no MP3 audio"));
        FLength = static_cast<int64_t>(frames) * BlockAlign();
        mpg123_seek(FHandle, 0, SEEK_SET);
    } catch (...) {
        mpg123_delete(FHandle);
        throw;
    }
}

TMp3Decoder::~TMp3Decoder() {
    mpg123_delete(FHandle);
}

double TMp3Decoder::BytesToSeconds(int64_t bytes) const {
    return static_cast<double>(bytes / BlockAlign()) / FRate;
}

int64_t TMp3Decoder::SecondsToBytes(double seconds) const {
    return static_cast<int64_t>(std::floor(seconds * FRate)) * BlockAlign();
}

int TMp3Decoder::GetData(uint8_t* buffer, int size) {
    size_t wanted = static_cast<size_t>(std::max(size, 0) / BlockAlign() * BlockAlign());
    size_t filled = 0;
    while (!FEnded && filled < wanted) {
        size_t done = 0;
        const int result = mpg123_read(FHandle, buffer + filled, wanted - filled, &done);
        filled += done;
        if (result == MPG123_NEW_FORMAT)
            continue; // only the track's own format is allowed
        // Any other stop (the end, a broken frame the library gives up on, a
        // part it cannot convert to the track's format) ends the track.
        if (result != MPG123_OK && result != MPG123_DONE)
            FFailure = mpg123_strerror(FHandle);
        if (result != MPG123_OK || done == 0)
            FEnded = true;
    }
    // The scan counts in the rate of the frames it found; where parts of
    // another rate are converted, more may come out than it promised.
    FPosition += static_cast<int64_t>(filled);
    FLength = std::max(FLength, FPosition);
    return static_cast<int>(filled);
}

void TMp3Decoder::SetPosition(int64_t bytes) {
    const int64_t frame = std::clamp<int64_t>(bytes, 0, FLength) / BlockAlign();
    const off_t reached = mpg123_seek(FHandle, static_cast<off_t>(frame), SEEK_SET);
    FPosition = std::clamp<int64_t>(reached < 0 ? frame * BlockAlign()
                                                : static_cast<int64_t>(reached) * BlockAlign(),
                                    0, FLength);
    FEnded = frame >= FLength / BlockAlign();
    FFailure.clear();
}
