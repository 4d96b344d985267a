#include "playback/CompletedSections.h"

#include "demo/UnitStreams.h"
#include "platform/TextLines.h"
#include "playback/AssemblyError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

std::string Quoted(std::int32_t value) {
    return "\"" + std::to_string(value) + "\"";
}

void SaveTextLines(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    const std::string partial = path + ".tmp";
    {
        TFileStream file(partial, TFileStream::TMode::Create);
        file.WriteBuffer(text.data(), text.size());
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0)
        throw EAssemblyError("Cannot replace \"" + path + "\". " + std::strerror(errno));
}

} // namespace

std::vector<std::string> LoadCompletedLines(const std::string& castDirectory) {
    const std::string path = castDirectory + CompletedFileName;
    std::error_code missing;
    if (!std::filesystem::exists(path, missing))
        return {};
    TFileStream file(path, TFileStream::TMode::OpenRead);
    const auto size = static_cast<std::uint64_t>(file.Size());
    if (size > MaxCompletedFileBytes)
        throw EAssemblyError("\"" + path + "\" holds " + std::to_string(size) +
                             " bytes, more than the " + std::to_string(MaxCompletedFileBytes) +
                             " bytes a list of completed sections may have");
    std::string text(static_cast<std::size_t>(size), '\0');
    file.ReadBuffer(text.data(), text.size());
    return SplitLines(text);
}

std::string CompletedSectionLine(std::int32_t section, std::int32_t tag) {
    return Quoted(section) + "," + Quoted(tag);
}

void AppendCompletedSection(const std::string& castDirectory, std::int32_t section,
                            std::int32_t tag) {
    std::vector<std::string> lines = LoadCompletedLines(castDirectory);
    if (lines.empty())
        lines.push_back(CompletedHeaderLine);
    lines.push_back(CompletedSectionLine(section, tag));
    SaveTextLines(castDirectory + CompletedFileName, lines);
}
