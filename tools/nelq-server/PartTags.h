#pragma once

#include "Cast.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>

// Strong entity tags of ended parts. An ended part is never written again,
// so its CRC is read once; the tag holds it with the size, so that equal
// tags mean equal bytes even for a cast deleted and filmed again under its
// name (file identity would not: inode numbers are reused, and a restart
// touches the files).
class TPartTags {
public:
    // The part must have ended. Throws std::runtime_error when it cannot be
    // read whole.
    std::string Tag(const std::shared_ptr<TCast>& cast, std::int32_t section, int part,
                    std::uint64_t size);

private:
    struct TEntry {
        std::weak_ptr<TCast> Cast;
        std::string Tag;
    };
    std::mutex Lock;
    std::map<std::tuple<std::string, std::int32_t, int>, TEntry> Entries; // guarded by Lock
};
