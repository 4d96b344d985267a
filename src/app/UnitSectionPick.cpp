#include "app/UnitSectionPick.h"

#include "platform/CommaText.h"

#include <charconv>

namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

int ToIntOrZero(const std::string& text) {
    // A leading plus sign is a number too, as the client's number parsing has it.
    const char* begin = text.data() + (text.size() > 1 && text[0] == '+' && text[1] != '-' ? 1 : 0);
    const char* end = text.data() + text.size();
    int value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    return error == std::errc() && stop == end ? value : 0;
}

} // namespace

int PickLastPlayedIndex(const std::vector<int>& entrySections, const std::string& lastPlayedText) {
    const int lastPlayed = ToIntOrZero(Trim(lastPlayedText));
    int picked = 0;
    for (std::size_t i = 0; i < entrySections.size(); ++i) {
        if (entrySections[i] > lastPlayed)
            break;
        picked = static_cast<int>(i);
    }
    return picked;
}

std::vector<std::string> DescribeSection(const std::string& descriptionLine) {
    const std::vector<std::string> items = SplitCommaText(descriptionLine + ",");
    const std::size_t n = items.empty() ? 0 : (items.size() - 1) / 2;
    std::vector<std::string> lines;
    for (std::size_t a = 1; a <= n; ++a)
        lines.push_back(items[a] + ": " + items[a + n]);
    return lines;
}
