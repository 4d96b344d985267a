#pragma once

#include <algorithm>
#include <cctype>
#include <string>

// Lower case for comparing names the way Windows does (ASCII letters only).
inline std::string AsciiLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}
