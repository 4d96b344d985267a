#include "net/LineFields.h"

#include <charconv>

std::vector<std::string> LineFields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', begin);
        if (tab == std::string_view::npos) {
            fields.emplace_back(line.substr(begin));
            return fields;
        }
        fields.emplace_back(line.substr(begin, tab - begin));
        begin = tab + 1;
    }
}

std::string LineField(std::string_view line, std::size_t index) {
    std::size_t begin = 0;
    for (std::size_t i = 0; i < index; ++i) {
        const std::size_t tab = line.find('\t', begin);
        if (tab == std::string_view::npos)
            return {};
        begin = tab + 1;
    }
    const std::size_t end = line.find('\t', begin);
    return std::string(line.substr(begin, end == std::string_view::npos ? end : end - begin));
}

std::string JoinFields(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += '\t';
        line += fields[i];
    }
    return line;
}

bool ParseInt32(std::string_view text, std::int32_t& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && !text.empty();
}
