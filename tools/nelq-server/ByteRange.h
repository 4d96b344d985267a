#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// What a "Range" request header asks of a representation of `size` bytes.
struct TByteRange {
    enum class TKind {
        Whole,         // no header, one we do not take, or several ranges
        Part,          // 206: First..Last, both within the size
        Unsatisfiable, // 416
    };
    TKind Kind = TKind::Whole;
    std::uint64_t First = 0;
    std::uint64_t Last = 0; // inclusive
};

// Takes one "bytes=a-b", "bytes=a-" or "bytes=-n" range. Several ranges get
// the whole representation, as RFC 9110 allows: followers of a growing part
// ask for one. Text that is not a range is ignored, as the RFC asks.
TByteRange ParseByteRange(std::optional<std::string_view> header, std::uint64_t size);
