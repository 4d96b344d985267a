#include "mixer/PlaylistFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

std::vector<std::string> LoadPlaylist(const std::string& fileName) {
    std::vector<std::string> paths;
    std::ifstream file(fileName, std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") != std::string::npos)
            paths.push_back(line);
    }
    return paths;
}

bool SavePlaylist(const std::string& fileName, const std::vector<std::string>& paths) {
    // Written aside and put in place whole, so that a full disk never leaves
    // half a playlist behind.
    const std::string temporary = fileName + ".new";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        for (const std::string& path : paths)
            file << path << "\r\n";
        file.flush();
        if (!file) {
            file.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, fileName, error);
    if (error)
        std::remove(temporary.c_str());
    return !error;
}
