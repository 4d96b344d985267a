#include "playback/CompletedSections.h"

#include "demo/UnitStreams.h"
#include "playback/AssemblyError.h"
#include "platform/TextLines.h"

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

// The lines of a text file; none when it is missing.
std::vector<std::string> LoadTextLines(const std::string& path) {
    std::error_code missing;
    if (!std::filesystem::exists(path, missing))
        return {};
    TFileStream file(path, TFileStream::TMode::OpenRead);
    std::string text(static_cast<std::size_t>(file.Size()), '\0');
    file.ReadBuffer(text.data(), text.size());
    return SplitLines(text);
}

} // namespace

void AppendCompletedSection(const std::string& castDirectory, std::int32_t section,
                            std::int32_t tag) {
    const std::string path = castDirectory + CompletedFileName;
    std::vector<std::string> lines = LoadTextLines(path);
    if (lines.empty())
        lines.push_back("audio");
    lines.push_back(Quoted(section) + "," + Quoted(tag));
    SaveTextLines(path, lines);
}
