#include "SectionPath.h"

#include "Cast.h"

#include <charconv>

std::optional<TSectionPath> ParseSectionPath(std::string_view path) {
    if (path == "index.json")
        return TSectionPath{true};
    const std::size_t slash = path.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const std::string_view number = path.substr(0, slash);
    const std::string_view part = path.substr(slash + 1);
    if (part != "demo" && part != "audio")
        return std::nullopt;
    // One spelling per section, so that caches keep one copy of it.
    if (number.empty() || number.size() > 4 || (number.size() > 1 && number[0] == '0') ||
        number.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    std::int32_t section = 0;
    std::from_chars(number.data(), number.data() + number.size(), section);
    if (section > TCast::LastSection)
        return std::nullopt;
    return TSectionPath{false, section, part == "demo" ? 0 : 1};
}
