#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/types.h>
#include <vector>

// Whether our own child is gone for good: ended and reaped, no zombie left.
inline bool ProcessReaped(pid_t pid) {
    return !std::filesystem::exists("/proc/" + std::to_string(pid));
}

// Whether a process has ended: gone, or a zombie waiting for a parent that is
// not us (a game's helper is handed to init when the game ends).
inline bool ProcessEnded(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    // The state follows the command name, which is in parentheses and may
    // hold anything.
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

// Whether a game stand-in runs in `directory`: other tests' stand-ins may
// show their windows on the same display meanwhile.
inline bool StandInRunningIn(const std::string& directory) {
    const std::filesystem::path wanted = std::filesystem::canonical(directory);
    std::error_code error;
    for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
        std::error_code unreadable;
        if (std::filesystem::read_symlink(process.path() / "exe", unreadable).filename() ==
                "t2-standin" &&
            std::filesystem::read_symlink(process.path() / "cwd", unreadable) == wanted)
            return true;
    }
    return false;
}

// The processes whose command line contains `text` and whose environment
// holds `entry` ("NAME=value"): a test's own, however they were started (Wine
// passes the environment on to the Windows programs it runs).
inline std::vector<pid_t> ProcessesRunning(const std::string& text, const std::string& entry) {
    const auto readAll = [](const std::filesystem::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    std::vector<pid_t> found;
    std::error_code error;
    for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = process.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string environment = '\0' + readAll(process.path() / "environ");
        if (readAll(process.path() / "cmdline").find(text) != std::string::npos &&
            environment.find('\0' + entry + '\0') != std::string::npos)
            found.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return found;
}
