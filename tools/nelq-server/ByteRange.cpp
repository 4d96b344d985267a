#include "ByteRange.h"

#include <charconv>
#include <limits>

namespace {

constexpr std::string_view Unit = "bytes=";

// Digits alone; numbers past 64 bits saturate, which every check below
// treats as "beyond the size".
std::optional<std::uint64_t> Number(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range)
        return std::numeric_limits<std::uint64_t>::max();
    return end == text.data() + text.size() ? std::optional(value) : std::nullopt;
}

} // namespace

TByteRange ParseByteRange(std::optional<std::string_view> header, std::uint64_t size) {
    using TKind = TByteRange::TKind;
    if (!header || !header->starts_with(Unit))
        return {};
    const std::string_view ranges = header->substr(Unit.size());
    const std::size_t dash = ranges.find('-');
    if (ranges.find(',') != std::string_view::npos || dash == std::string_view::npos)
        return {};
    const std::string_view firstText = ranges.substr(0, dash);
    const std::string_view lastText = ranges.substr(dash + 1);
    if (firstText.empty()) { // the last n bytes
        const auto suffix = Number(lastText);
        if (!suffix)
            return {};
        if (*suffix == 0 || size == 0)
            return {TKind::Unsatisfiable};
        return {TKind::Part, size - std::min(*suffix, size), size - 1};
    }
    const auto first = Number(firstText);
    const auto last = lastText.empty() ? std::optional(std::numeric_limits<std::uint64_t>::max())
                                       : Number(lastText);
    if (!first || !last || *last < *first)
        return {};
    if (*first >= size)
        return {TKind::Unsatisfiable};
    return {TKind::Part, *first, std::min(*last, size - 1)};
}
