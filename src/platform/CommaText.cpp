#include "platform/CommaText.h"

namespace {

bool IsBlank(char c) {
    return c != '\0' && static_cast<unsigned char>(c) <= ' ';
}

// Reads a quoted item starting at the opening quote; stops after the closing
// quote, or at the end of the text when there is none.
std::string QuotedItem(const std::string& text, std::size_t& at) {
    std::string item;
    ++at;
    while (at < text.size()) {
        if (text[at] == '"') {
            if (at + 1 < text.size() && text[at + 1] == '"') {
                item.push_back('"');
                at += 2;
                continue;
            }
            ++at;
            break;
        }
        item.push_back(text[at++]);
    }
    return item;
}

} // namespace

std::vector<std::string> SplitCommaText(const std::string& text) {
    std::vector<std::string> items;
    std::size_t at = 0;
    const auto skipBlanks = [&] {
        while (at < text.size() && IsBlank(text[at]))
            ++at;
    };
    skipBlanks();
    while (at < text.size() && text[at] != '\0') {
        if (text[at] == '"') {
            items.push_back(QuotedItem(text, at));
        } else {
            const std::size_t begin = at;
            while (at < text.size() && static_cast<unsigned char>(text[at]) > ' ' &&
                   text[at] != ',')
                ++at;
            items.push_back(text.substr(begin, at - begin));
        }
        skipBlanks();
        if (at < text.size() && text[at] == ',') {
            if (at + 1 == text.size())
                items.emplace_back();
            ++at;
            skipBlanks();
        }
    }
    return items;
}
