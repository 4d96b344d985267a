#include "app/UnitTextLines.h"

#include "platform/TextLines.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::vector<std::string> ReadTextLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in)
        text << in.rdbuf();
    if (!in || in.bad())
        throw std::runtime_error("Cannot read \"" + path + "\": " + std::strerror(errno));
    return SplitLines(text.str());
}

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines) {
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        for (const std::string& line : lines)
            out << line << "\r\n";
        out.close();
        if (!out) {
            const std::string reason = std::strerror(errno);
            std::error_code ignored;
            fs::remove(partial, ignored);
            throw std::runtime_error("Cannot write \"" + path + "\": " + reason);
        }
    }
    std::error_code ec;
    fs::rename(partial, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw std::runtime_error("Cannot write \"" + path + "\": " + ec.message());
    }
}
