#include "playback/AudioLength.h"

#include "playback/OggFileCallbacks.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

std::optional<std::int32_t> VorbisLengthMs(const std::string& path) {
    std::FILE* file = OpenAudioFile(path);
    if (file == nullptr)
        throw EAssemblyError("Cannot open the section audio \"" + path + "\". " +
                             std::strerror(errno));
    OggVorbis_File decoder;
    if (ov_open_callbacks(file, &decoder, nullptr, 0, FileStreamCallbacks()) < 0) {
        // A failed open leaves the file to us.
        std::fclose(file);
        return std::nullopt;
    }
    const double seconds = ov_time_total(&decoder, -1);
    ov_clear(&decoder); // closes the file through the callbacks
    const double milliseconds = std::round(seconds * 1000.0);
    if (!(milliseconds >= 0 && milliseconds <= std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(milliseconds);
}

std::int32_t AudioLengthMs(const std::string& path) {
    return VorbisLengthMs(path).value_or(0);
}
