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

struct TDescription {
    std::vector<std::string> Items; // the line's items and one empty item more
    std::size_t Pairs = 0;          // name a is item a, its value item a + Pairs
};

TDescription SplitDescription(const std::string& descriptionLine) {
    TDescription description{SplitCommaText(descriptionLine + ",")};
    description.Pairs = description.Items.empty() ? 0 : (description.Items.size() - 1) / 2;
    return description;
}

std::string ItemOrEmpty(const std::vector<std::string>& items, std::size_t index) {
    return index < items.size() ? items[index] : std::string();
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
    const TDescription description = SplitDescription(descriptionLine);
    const std::vector<std::string>& items = description.Items;
    std::vector<std::string> lines;
    for (std::size_t a = 1; a <= description.Pairs; ++a)
        lines.push_back(items[a] + ": " + items[a + description.Pairs]);
    return lines;
}

TSectionRow SectionRow(const std::string& descriptionLine) {
    const TDescription description = SplitDescription(descriptionLine);
    const std::vector<std::string>& items = description.Items;
    const std::size_t n = description.Pairs;
    TSectionRow row;
    row.Section = ToIntOrZero(Trim(ItemOrEmpty(items, 0)));
    row.FirstValue = ItemOrEmpty(items, n + 1);
    row.SecondValue = ItemOrEmpty(items, n + 2);
    for (std::size_t a = 1; a <= n; ++a) {
        if (items[a] == "Cast Time") {
            row.StartsAt = items[a + n];
            break;
        }
    }
    return row;
}
