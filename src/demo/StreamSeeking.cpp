#include "demo/StreamSeeking.h"

#include <algorithm>
#include <array>

std::int64_t SeekForwardOnly(TStream& stream, std::int64_t offset, TSeekOrigin origin,
                             std::int64_t delivered, const std::function<void()>& restart,
                             const std::function<void()>& fail) {
    if (origin == TSeekOrigin::Beginning && offset == 0) {
        restart();
        return 0;
    }
    std::int64_t skip = 0;
    if (origin == TSeekOrigin::Current && offset >= 0)
        skip = offset;
    else if (origin == TSeekOrigin::Beginning && offset > delivered)
        skip = offset - delivered;
    else
        fail();

    std::array<char, 4096> scratch;
    while (skip > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(skip, scratch.size()));
        const std::size_t got = stream.Read(scratch.data(), chunk);
        delivered += static_cast<std::int64_t>(got);
        if (got < chunk)
            break;
        skip -= static_cast<std::int64_t>(got);
    }
    return delivered;
}
