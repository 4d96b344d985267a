#include "GameFiles.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

// Counted from 0, as the client counts the start script's lines.
constexpr std::size_t DemoFileLine = 8;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

double ScriptNumber(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::string DemoFileOfStartScript(const std::string& scriptText) {
    const std::vector<std::string> lines = Lines(scriptText);
    if (lines.size() <= DemoFileLine)
        throw std::runtime_error("the start script has no line 8 (counted from 0)");
    const std::string line = Trimmed(lines[DemoFileLine]);
    const std::string prefix = "%file = \"";
    const std::string suffix = "\";";
    if (line.size() <= prefix.size() + suffix.size() || line.rfind(prefix, 0) != 0 ||
        line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0)
        throw std::runtime_error("line 8 of the start script names no demo: \"" + line + "\"");
    return line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
}

TSyncInstruction ParseAudioSync(const std::string& text) {
    const std::vector<std::string> lines = Lines(text);
    TSyncInstruction instruction;
    if (lines.empty())
        return instruction;
    instruction.Number = ScriptNumber(lines[0]);
    if (lines.size() < 2 || lines[1].empty())
        return instruction;
    const std::string& fields = lines[1];
    const auto tab = fields.find('\t');
    instruction.Speed = ScriptNumber(fields.substr(0, tab));
    if (tab != std::string::npos)
        instruction.Status = fields.substr(tab + 1, fields.find('\t', tab + 1) - tab - 1);
    return instruction;
}

std::string DemoProgressText(std::optional<std::int64_t> demoTimeMs) {
    return (demoTimeMs ? std::to_string(*demoTimeMs) : std::string()) + "\r\n";
}

std::string ReadGameFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteGameFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}
