#include "net/CastNameCheck.h"

namespace {
// Leaves room for the streams directory and the section file names within
// the usual 255-byte limit of one path component.
constexpr std::size_t MaxCastNameLength = 128;
} // namespace

std::string CastNameProblem(std::string_view name) {
    if (name.empty())
        return "The game name is empty.";
    if (name.size() > MaxCastNameLength)
        return "The game name is longer than " + std::to_string(MaxCastNameLength) + " bytes.";
    if (name.front() == '.')
        return "The game name may not begin with a dot.";
    if (name.find("..") != std::string_view::npos)
        return "The game name may not contain \"..\".";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || c == ':')
            return "The game name may not contain path separators.";
        if (byte < 0x20 || byte == 0x7f)
            return "The game name may not contain control characters.";
    }
    return {};
}
