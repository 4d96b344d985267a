#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

// Playing times of a cast's ended audio parts. A part never changes once it
// has ended, so each is read once, outside the lock; one that is not Ogg
// Vorbis stays unknown.
class TAudioLengthCache {
public:
    // Milliseconds of the ended audio part of `section` stored at `part`.
    std::optional<std::int32_t> Length(std::int32_t section, const std::filesystem::path& part);

private:
    std::mutex Lock;
    std::map<std::int32_t, std::optional<std::int32_t>> Lengths; // guarded by Lock
};
