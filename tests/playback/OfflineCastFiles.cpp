#include "OfflineCastFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

std::string StreamsDirectoryOf(const TCastFixture& cast) {
    return fs::path(cast.CastDirectory()).parent_path().parent_path().string() + "/";
}

std::string StoreRecordingSections(TCastFixture& cast, std::int32_t first, std::int32_t last) {
    std::string packets;
    for (std::int32_t section = first; section <= last; ++section)
        packets += cast.StoreSection(section, section == first, 1500, 1500);
    return packets;
}

void WriteCompletedList(const std::string& castDirectory,
                        const std::vector<std::int32_t>& sections) {
    std::string text = "audio\r\n";
    for (const std::int32_t section : sections)
        text += "\"" + std::to_string(section) + "\",\"1032\"\r\n";
    WriteBytes(castDirectory + "completed.dat", text);
}

void RunPython(const std::string& program) {
    const TTempDir dir;
    const std::string script = dir / "make.py";
    WriteBytes(script, "import os, struct, zipfile\n" + program);
    const TCommandResult result = RunCommand("python3 '" + script + "' 2>&1");
    ASSERT_EQ(result.Status, 0) << result.Output;
}

std::vector<std::string> FilesUnder(const std::string& directory) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(directory))
        if (entry.is_regular_file())
            files.push_back(fs::relative(entry.path(), directory).string());
    std::sort(files.begin(), files.end());
    return files;
}
