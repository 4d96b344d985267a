#include "PartTags.h"

#include "FileCrc.h"

#include <cstdio>

std::string TPartTags::Tag(const std::shared_ptr<TCast>& cast, std::int32_t section, int part,
                           std::uint64_t size) {
    const auto key = std::make_tuple(cast->Name, section, part);
    {
        std::lock_guard guard(Lock);
        const auto known = Entries.find(key);
        if (known != Entries.end() && known->second.Cast.lock() == cast)
            return known->second.Tag;
    }
    // Read outside the lock: other parts' requests need not wait for this one.
    const std::uint32_t crc = FileCrc(cast->PartPath(section, part), 0, size);
    char tag[48];
    std::snprintf(tag, sizeof tag, "\"%08x-%llx\"", crc, static_cast<unsigned long long>(size));
    std::lock_guard guard(Lock);
    std::erase_if(Entries, [](const auto& entry) { return entry.second.Cast.expired(); });
    Entries[key] = {cast, tag};
    return tag;
}
