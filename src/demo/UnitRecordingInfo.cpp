#include "demo/UnitRecordingInfo.h"

#include "platform/TextLines.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string Trimmed(const std::string& s) {
    std::size_t first = 0;
    std::size_t last = s.size();
    while (first < last && IsBlankOrControl(s[first]))
        ++first;
    while (last > first && IsBlankOrControl(s[last - 1]))
        --last;
    return s.substr(first, last - first);
}

void AppendFields(std::string line, std::vector<std::string>& entries) {
    // The extra blank makes a trailing comma, or an empty line, yield one more
    // empty entry.
    line += ' ';
    std::size_t start = 0;
    while (start < line.size()) {
        std::size_t comma = line.find(',', start);
        if (comma == std::string::npos)
            comma = line.size();
        entries.push_back(Trimmed(line.substr(start, comma - start)));
        start = comma + 1;
    }
}

std::string Quoted(const std::string& entry) {
    bool needsQuotes = false;
    for (char c : entry)
        needsQuotes = needsQuotes || IsBlankOrControl(c) || c == '"' || c == ',';
    if (!needsQuotes)
        return entry;
    std::string quoted = "\"";
    for (char c : entry) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + '"';
}

} // namespace

std::string FormatRunningTotal(std::int64_t totalMs) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2lld:%.2lld", static_cast<long long>(totalMs / 60000),
                  static_cast<long long>(totalMs / 1000 % 60));
    return text;
}

std::vector<std::string> ParseInfoList(const std::string& text, std::int64_t runningTotalMs) {
    std::vector<std::string> entries;
    for (const std::string& line : SplitLines(text))
        AppendFields(line, entries);
    while (entries.size() < 4)
        entries.emplace_back();

    const std::size_t half = entries.size() / 2;
    if (entries[0].empty() || entries[half].empty()) {
        entries[0] = "Time Remaining";
        entries[half] = FormatRunningTotal(runningTotalMs);
    }
    if (entries[1].empty() || entries[half + 1].empty()) {
        entries[1] = "Map";
        entries[half + 1] = "Unknown Map";
    }
    return entries;
}

TRecordingInfo ReadRecordingInfo(const std::string& recordingPath, std::int64_t runningTotalMs) {
    std::string text;
    if (std::ifstream file{recordingPath + ".log", std::ios::binary})
        text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    TRecordingInfo info;
    info.Entries = ParseInfoList(text, runningTotalMs);
    info.CommaText = CommaText(info.Entries);
    return info;
}

std::string CommaText(const std::vector<std::string>& entries) {
    if (entries.size() == 1 && entries[0].empty())
        return "\"\"";
    std::string text;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0)
            text += ',';
        text += Quoted(entries[i]);
    }
    return text;
}

namespace {

// The two fixed pairs alone, their texts shortened until they fit.
std::string FixedPairsWithin(const std::vector<std::string>& entries, std::size_t maxBytes) {
    const std::size_t half = entries.size() / 2;
    const std::vector<std::string> fixed{entries[0], entries[1], entries[half], entries[half + 1]};
    for (std::size_t limit = maxBytes;; limit /= 2) {
        std::vector<std::string> shortened;
        for (const std::string& entry : fixed)
            shortened.push_back(entry.substr(0, limit));
        const std::string text = CommaText(shortened);
        if (text.size() <= maxBytes || limit == 0)
            return text;
    }
}

} // namespace

std::string CommaTextWithin(const std::vector<std::string>& entries, std::size_t maxBytes) {
    const std::string whole = CommaText(entries);
    if (whole.size() <= maxBytes)
        return whole;
    // Names come first and their values second, so a reader pairs entry i
    // with entry half + i: drop whole pairs from the last one, keeping the
    // two fixed pairs (remaining time and map).
    const std::size_t half = entries.size() / 2;
    std::vector<std::size_t> pairBytes(half); // both quoted items and their two commas
    for (std::size_t i = 0; i < half; ++i)
        pairBytes[i] = Quoted(entries[i]).size() + Quoted(entries[half + i]).size() + 2;
    std::size_t bytes = 0; // of the first `pairs` pairs, less the comma before the first item
    std::size_t pairs = 0;
    while (pairs < half && bytes + pairBytes[pairs] - 1 <= maxBytes)
        bytes += pairBytes[pairs++];
    if (pairs < 2)
        return FixedPairsWithin(entries, maxBytes);
    std::vector<std::string> kept(entries.begin(), entries.begin() + pairs);
    kept.insert(kept.end(), entries.begin() + half, entries.begin() + half + pairs);
    return CommaText(kept);
}
