#include "playback/GameSyncFiles.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string ModFile(const std::string& gameDirectory, const char* name) {
    return (fs::path(gameDirectory) / "NELQ" / name).string();
}

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

} // namespace

std::string DemoProgressPath(const std::string& gameDirectory) {
    return ModFile(gameDirectory, "demoprog.txt");
}

std::string AudioSyncPath(const std::string& gameDirectory) {
    return ModFile(gameDirectory, "audiosync.txt");
}

std::string FormatSpeed(double speed) {
    char text[32];
    const std::to_chars_result end =
        std::to_chars(text, text + sizeof text, speed, std::chars_format::fixed, 3);
    return std::string(text, end.ptr);
}

void WriteAudioSync(const std::string& gameDirectory, std::int32_t number,
                    const std::string& status, double speed) {
    std::string text = std::to_string(number) + "\r\n";
    if (number > 0)
        text += FormatSpeed(speed) + "\t" + status + "\r\n";
    // The game reads the file while we write it: it only ever sees a whole
    // one, the old or the new.
    const std::string path = AudioSyncPath(gameDirectory);
    const std::string partial = path + ".part";
    std::error_code ignored;
    fs::create_directories(fs::path(path).parent_path(), ignored);
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        if (!(file << text).flush())
            return;
    }
    fs::rename(partial, path, ignored);
}

std::optional<std::int64_t> ReadDemoProgress(const std::string& gameDirectory) {
    std::ifstream file(DemoProgressPath(gameDirectory), std::ios::binary);
    if (!file)
        return std::nullopt;
    const std::string text = Trimmed(
        std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const std::from_chars_result parsed = std::from_chars(text.data(), end, value);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end)
        return std::nullopt;
    return value;
}
