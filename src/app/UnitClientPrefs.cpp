#include "app/UnitClientPrefs.h"

#include "app/UnitTextLines.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string_view>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view FullScreenKey = "$pref::Video::fullScreen";
constexpr std::string_view ResolutionKey = "$pref::Video::resolution";
constexpr std::string_view MasterVolumeKey = "$pref::Audio::masterVolume";
constexpr std::string_view MusicEnabledKey = "$pref::Audio::musicEnabled";
constexpr int MaxVolume = 10;

// Only the key's length of the line is compared: a longer name that starts
// with a key counts as that key, as the game's own prefix rule does.
bool StartsWith(const std::string& line, std::string_view key) {
    return line.compare(0, key.size(), key) == 0;
}

bool IsReplacedLine(const std::string& line) {
    return StartsWith(line, FullScreenKey) || StartsWith(line, ResolutionKey) ||
           StartsWith(line, MasterVolumeKey) || StartsWith(line, MusicEnabledKey);
}

// The preference file to start from: the mod's own, else the player's.
std::vector<std::string> LoadTemplate(const std::string& gameDirectory, bool& found) {
    std::error_code ec;
    for (const char* name : {"NELQ/prefs/ClientPrefs.cs", "base/prefs/ClientPrefs.cs"}) {
        const std::string path = gameDirectory + name;
        if (fs::is_regular_file(path, ec)) {
            found = true;
            return ReadTextLines(path);
        }
    }
    found = false;
    return {};
}

// Two decimals with a point, whatever the locale.
std::string TwoDecimals(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
    return std::string(text, end.ptr);
}

// The slider position for a stored volume: tenths, halves to even; 10 when
// the value is not a finite number.
int VolumePosition(const std::string& value) {
    std::string_view text = value;
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double volume = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), volume);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(volume))
        volume = 1.0;
    // Out-of-range values are held to the slider's range before the conversion.
    return static_cast<int>(std::nearbyint(std::clamp(volume * MaxVolume, 0.0, double{MaxVolume})));
}

} // namespace

const std::vector<std::string>& VideoModes() {
    static const std::vector<std::string> modes = {"640 480 16",  "640 480 32",  "800 600 16",
                                                   "800 600 32",  "1024 768 16", "1024 768 32",
                                                   "1152 864 16", "1152 864 32"};
    return modes;
}

std::string QuotedValue(const std::string& line) {
    const std::size_t open = line.find('"');
    if (open == std::string::npos)
        return {};
    const std::size_t close = line.find('"', open + 1);
    return line.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

void WriteClientPrefs(const std::string& gameDirectory, const TribesDisplayPrefs& prefs) {
    bool found = false;
    std::vector<std::string> lines = LoadTemplate(gameDirectory, found);
    std::erase_if(lines, IsReplacedLine);
    lines.push_back(std::string(FullScreenKey) + (prefs.Windowed ? " = \"0\";" : " = \"1\";"));
    lines.push_back(std::string(ResolutionKey) + " = \"" + prefs.VideoMode + "\";");
    lines.push_back(std::string(MasterVolumeKey) + " = \"" +
                    TwoDecimals(static_cast<double>(prefs.Volume) / MaxVolume) + "\";");
    lines.push_back(std::string(MusicEnabledKey) + " = \"0\";");

    const std::string directory = gameDirectory + "NELQ/prefs/";
    std::error_code ec;
    fs::create_directories(directory, ec);
    if (ec)
        throw std::runtime_error("Cannot create \"" + directory + "\": " + ec.message());
    WriteTextLines(directory + "ClientPrefs.cs", lines);
}

bool ReadClientPrefs(const std::string& gameDirectory, TribesDisplayPrefs& prefs) {
    bool found = false;
    const std::vector<std::string> lines = LoadTemplate(gameDirectory, found);
    for (const std::string& line : lines) {
        if (StartsWith(line, FullScreenKey)) {
            prefs.Windowed = line.find('1') == std::string::npos;
        } else if (StartsWith(line, ResolutionKey)) {
            const std::string mode = QuotedValue(line);
            const auto& modes = VideoModes();
            prefs.VideoMode =
                std::find(modes.begin(), modes.end(), mode) != modes.end() ? mode : modes.front();
        } else if (StartsWith(line, MasterVolumeKey)) {
            prefs.Volume = VolumePosition(QuotedValue(line));
        }
    }
    return found;
}
