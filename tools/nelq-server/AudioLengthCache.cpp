#include "AudioLengthCache.h"

#include "playback/AudioLength.h"

std::optional<std::int32_t> TAudioLengthCache::Length(std::int32_t section,
                                                      const std::filesystem::path& part) {
    {
        std::lock_guard guard(Lock);
        if (const auto known = Lengths.find(section); known != Lengths.end())
            return known->second;
    }
    std::optional<std::int32_t> length;
    try {
        length = VorbisLengthMs(part.string());
    } catch (const EAssemblyError&) {
        return std::nullopt; // gone (the cast is being deleted): nothing to remember
    }
    std::lock_guard guard(Lock);
    Lengths.emplace(section, length);
    return length;
}
