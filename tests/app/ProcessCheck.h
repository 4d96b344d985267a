#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/types.h>

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
