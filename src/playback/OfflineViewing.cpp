#include "playback/OfflineViewing.h"

#include "platform/CommaText.h"
#include "playback/CompletedSections.h"
#include "playback/SectionTimeTable.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// A damaged list may hold one line as long as the file; the error box shows
// its start.
std::string Excerpt(const std::string& line) {
    constexpr std::size_t Shown = 80;
    return line.size() <= Shown ? line : line.substr(0, Shown) + "...";
}

bool ParseNumber(const std::string& field, std::int32_t& value) {
    const char* end = field.data() + field.size();
    const auto [stop, error] = std::from_chars(field.data(), end, value);
    return error == std::errc() && stop == end && !field.empty();
}

std::string SectionFile(const std::string& castDirectory, const char* format,
                        std::int32_t section) {
    char name[32];
    std::snprintf(name, sizeof name, format, section);
    return castDirectory + name;
}

} // namespace

std::vector<TCompletedSection> LoadCompletedSections(const std::string& castDirectory) {
    const std::string path = castDirectory + CompletedFileName;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        throw EOfflineError("Unable to locate any completed stream sections");
    const std::vector<std::string> lines = LoadCompletedLines(castDirectory);
    std::vector<TCompletedSection> sections;
    // Line 1 is the header.
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty())
            continue;
        const std::string where = "Line " + std::to_string(i + 1) + " of \"" + path + "\"";
        const std::vector<std::string> fields = SplitCommaText(lines[i]);
        TCompletedSection entry{};
        if (fields.size() < 2 || !ParseNumber(fields[0], entry.Section) ||
            !ParseNumber(fields[1], entry.Tag))
            throw EOfflineError(where + " is not a section number and tag: " + Excerpt(lines[i]));
        if (entry.Section < 0 || entry.Section > LastTableSection)
            throw EOfflineError(where + " names section " + std::to_string(entry.Section) +
                                ", outside 0 to " + std::to_string(LastTableSection));
        if (!sections.empty() && entry.Section <= sections.back().Section)
            throw EOfflineError(where + " names section " + std::to_string(entry.Section) +
                                " after section " + std::to_string(sections.back().Section) +
                                "; sections must be listed in rising order");
        sections.push_back(entry);
    }
    return sections;
}

std::vector<TCompletedSection> LoadPlayableCast(const std::string& castDirectory, bool audioOnly) {
    std::vector<TCompletedSection> sections = LoadCompletedSections(castDirectory);
    if (sections.size() < 2)
        throw EOfflineError("Insufficient sections to begin viewing");
    for (const TCompletedSection& entry : sections) {
        std::vector<const char*> parts{"audio_%d.ogg"};
        if (!audioOnly)
            parts.push_back("demo_%d.rec");
        for (const char* format : parts) {
            const std::string path = SectionFile(castDirectory, format, entry.Section);
            std::error_code ec;
            if (!fs::is_regular_file(path, ec))
                throw EOfflineError("Section " + std::to_string(entry.Section) +
                                    " cannot be played: \"" + path + "\" is missing");
        }
    }
    return sections;
}

void ReplayCast(TCastAssembler& assembler, TAssemblySettings settings,
                const std::vector<TCompletedSection>& sections,
                const std::function<void(std::size_t replayed)>& afterSection,
                const std::function<void()>& streamsEnded) {
    const auto endStreams = [&] {
        if (streamsEnded)
            streamsEnded();
        else
            assembler.StreamsEndedHandler();
    };
    if (sections.empty())
        throw EOfflineError("Insufficient sections to begin viewing");
    settings.StartSection = sections.front().Section;
    settings.Online = false;
    assembler.BeginRun(settings);
    try {
        for (std::size_t i = 0; i < sections.size(); ++i) {
            assembler.SectionComplete(sections[i].Section, sections[i].Tag);
            if (afterSection)
                afterSection(i + 1);
            if (assembler.LastCompletedSection() != sections[i].Section)
                return;
        }
    } catch (...) {
        try {
            endStreams();
        } catch (...) {
            // The section's failure is the one to report.
        }
        throw;
    }
    endStreams();
    const std::int64_t third = std::int64_t{settings.StartSection} + 2;
    const bool started =
        std::any_of(sections.begin(), sections.end(),
                    [&](const TCompletedSection& s) { return s.Section == third; });
    if (!started && assembler.StartPlayback)
        assembler.StartPlayback(settings.StartSection);
}
