#include "app/UnitNELQGlobal.h"

#include "platform/WineRegistry.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* GameInstallKey = "Software\\Sierra OnLine\\Setup\\Tribes2";
constexpr const char* FallbackGameDirectory = "C:\\Dynamix\\Tribes2\\GameData\\";

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

} // namespace

std::string ClientVersion() {
    return NELQ_CLIENT_VERSION;
}

std::string IncludeTrailingSeparator(const std::string& directory) {
    if (!directory.empty() && (directory.back() == '/' || directory.back() == '\\'))
        return directory;
    return directory + '/';
}

std::string ExtractFileDir(const std::string& path) {
    return IncludeTrailingSeparator(fs::path(path).parent_path().string());
}

std::string ComputeAppDirectory() {
    if (const char* home = std::getenv("NELQ_HOME"); home && *home)
        return IncludeTrailingSeparator(home);
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && IsPortableDirectory(exe.parent_path().string()))
        return IncludeTrailingSeparator(exe.parent_path().string());
    const std::string dataHome = EnvOr("XDG_DATA_HOME", EnvOr("HOME", "") + "/.local/share");
    return IncludeTrailingSeparator(dataHome) + "NELQ/";
}

bool IsPortableDirectory(const std::string& directory) {
    const std::string within = IncludeTrailingSeparator(directory);
    for (const char* system : {"/usr/", "/bin/", "/sbin/"})
        if (within.rfind(system, 0) == 0)
            return false;
    return access(directory.c_str(), W_OK) == 0;
}

std::string PrepareStreamsDirectory(const std::string& appDirectory) {
    const std::string streams = appDirectory + "streams/";
    std::error_code ec;
    fs::create_directories(streams, ec);
    return streams;
}

GameDirectories LocateGameDirectory(const std::string& configured) {
    const std::string prefix = WinePrefixDirectory();
    GameDirectories result;
    if (const auto installRoot = ReadMachineRegistryString(prefix, GameInstallKey, "directory")) {
        std::string root = *installRoot;
        if (root.empty() || root.back() != '\\')
            root += '\\';
        result.DefaultGameDirectory = MapWindowsPath(prefix, root + "GameData\\");
    } else {
        result.DefaultGameDirectory = MapWindowsPath(prefix, FallbackGameDirectory);
    }
    result.GameDirectory =
        IncludeTrailingSeparator(configured.empty() ? result.DefaultGameDirectory : configured);
    return result;
}
