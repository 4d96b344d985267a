#include "platform/WineRegistry.h"
#include "platform/AsciiText.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

// "system.reg" writes a key as [Software\\Vendor\\App] 1234 and a value as
// "name"="text" with backslashes and quotes escaped.
void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Wine escapes backslashes and quotes with a backslash, control characters
// as \n, \t, ... and other characters outside ASCII as \x and hex digits.
std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char code = text[++i];
        if (code == 'x') {
            std::uint32_t c = 0;
            int digits = 0;
            while (digits < 4 && i + 1 < text.size() &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
                const char hex =
                    static_cast<char>(std::tolower(static_cast<unsigned char>(text[++i])));
                c = c * 16 + static_cast<std::uint32_t>(hex <= '9' ? hex - '0' : hex - 'a' + 10);
                ++digits;
            }
            AppendUtf8(out, c);
            continue;
        }
        static const std::string codes = "abtnvfr0";
        static const std::string values = "\a\b\t\n\v\f\r";
        const auto at = codes.find(code);
        if (at == std::string::npos)
            out.push_back(code);
        else
            out.push_back(at < values.size() ? values[at] : '\0');
    }
    return out;
}

// The quoted string starting at `at` (at the opening quote); npos-safe.
std::optional<std::string> QuotedAt(const std::string& line, std::size_t at, std::size_t* end) {
    if (at >= line.size() || line[at] != '"')
        return std::nullopt;
    std::string raw;
    for (std::size_t i = at + 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            raw.push_back(line[i]);
            raw.push_back(line[++i]);
        } else if (line[i] == '"') {
            *end = i + 1;
            return Unescape(raw);
        } else {
            raw.push_back(line[i]);
        }
    }
    return std::nullopt;
}

std::optional<std::string> ReadFrom(const std::string& file, const std::string& key,
                                    const std::string& valueName) {
    std::ifstream in(file);
    if (!in)
        return std::nullopt;
    const std::string wantedKey = AsciiLower(key);
    const std::string wantedValue = AsciiLower(valueName);
    std::optional<std::string> result;
    bool inKey = false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            if (inKey)
                break;
            const auto close = line.find(']');
            if (close == std::string::npos)
                continue;
            inKey = AsciiLower(Unescape(line.substr(1, close - 1))) == wantedKey;
            if (inKey)
                result = std::string{};
            continue;
        }
        if (!inKey)
            continue;
        std::size_t end = 0;
        const auto name = QuotedAt(line, 0, &end);
        if (!name || AsciiLower(*name) != wantedValue || end >= line.size() || line[end] != '=')
            continue;
        // Plain strings are "text"; expandable ones str(2):"text".
        std::size_t valueAt = end + 1;
        if (line.compare(valueAt, 7, "str(2):") == 0)
            valueAt += 7;
        std::size_t valueEnd = 0;
        if (const auto value = QuotedAt(line, valueAt, &valueEnd))
            result = *value;
    }
    return result;
}

} // namespace

std::string FindNameIgnoringCase(const std::string& directory, const std::string& name) {
    const fs::path dir(directory);
    std::error_code ec;
    if (fs::exists(dir / name, ec))
        return name;
    const std::string wanted = AsciiLower(name);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (AsciiLower(candidate) == wanted)
            return candidate;
    }
    return name;
}

std::string WinePrefixDirectory() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        return prefix;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine";
}

std::optional<std::string> ReadMachineRegistryString(const std::string& prefix,
                                                     const std::string& key,
                                                     const std::string& valueName) {
    const std::string file = prefix + "/system.reg";
    if (auto value = ReadFrom(file, key, valueName))
        return value;
    std::string wow = key;
    if (AsciiLower(wow.substr(0, 9)) == "software\\") {
        wow.insert(9, "Wow6432Node\\");
        return ReadFrom(file, wow, valueName);
    }
    return std::nullopt;
}

std::string MapWindowsPath(const std::string& prefix, const std::string& windowsPath) {
    if (windowsPath.size() < 2 || windowsPath[1] != ':' ||
        !std::isalpha(static_cast<unsigned char>(windowsPath[0])))
        return windowsPath;
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath[0])));
    fs::path dir = fs::path(prefix) / "dosdevices" / (std::string(1, drive) + ":");
    std::error_code ec;
    if (!fs::exists(dir, ec) && drive == 'c')
        dir = fs::path(prefix) / "drive_c";

    std::vector<std::string> parts;
    std::string part;
    for (std::size_t i = 2; i <= windowsPath.size(); ++i) {
        if (i == windowsPath.size() || windowsPath[i] == '\\' || windowsPath[i] == '/') {
            // As on Windows, ".." stops at the drive's root: the mapped path
            // never leaves the drive's directory.
            if (part == "..") {
                if (!parts.empty())
                    parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part.push_back(windowsPath[i]);
        }
    }
    for (const std::string& p : parts)
        dir /= FindNameIgnoringCase(dir.string(), p);
    std::string mapped = dir.string();
    const char last = windowsPath.back();
    if (last == '\\' || last == '/')
        mapped += '/';
    return mapped;
}
