#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// What follows "/casts/NAME/": "index.json", or "N/demo" or "N/audio" with
// N a plain decimal (no sign, no leading zero, no escape) up to the last
// section a cast may have.
struct TSectionPath {
    bool Index = false;
    std::int32_t Section = 0;
    int Part = 0; // 0 demo, 1 audio
};

// None for anything else: the route does not exist.
std::optional<TSectionPath> ParseSectionPath(std::string_view path);
