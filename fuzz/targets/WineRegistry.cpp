#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "platform/WineRegistry.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// A Windows path on a drive maps into the prefix, whatever ".." it holds.
void CheckMappedInside(const std::string& prefix, const std::string& windowsPath) {
    const std::string mapped = MapWindowsPath(prefix, windowsPath);
    if (windowsPath.size() < 2 || windowsPath[1] != ':' ||
        !std::isalpha(static_cast<unsigned char>(windowsPath[0])))
        return;
    FuzzCheck(mapped.starts_with(prefix + "/"), "\"" + mapped + "\" lies outside the prefix");
    for (const fs::path& part : fs::path(mapped))
        FuzzCheck(part != "..", "\"" + mapped + "\" climbs out with \"..\"");
}

} // namespace

// A Wine prefix's "system.reg", as the client looks up the game's install
// directory in it and maps that into the prefix; the second part is a
// Windows path to map on its own.
void FuzzWineRegistry(const std::uint8_t* data, std::size_t size) {
    const auto parts = SplitParts(AsText(data, size), 2);
    TScratchDir scratch;
    const std::string prefix = scratch / "prefix";
    fs::create_directories(prefix + "/drive_c/Dynamix/Tribes2/GameData");
    fs::create_directories(prefix + "/dosdevices");
    fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
    WriteFile(prefix + "/system.reg", parts[0]);

    const auto root =
        ReadMachineRegistryString(prefix, "Software\\Sierra OnLine\\Setup\\Tribes2", "directory");
    if (root)
        CheckMappedInside(prefix, *root + "\\GameData\\");
    if (parts.size() > 1)
        CheckMappedInside(prefix, std::string(parts[1]));
}
