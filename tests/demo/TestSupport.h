#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Temporary directories, file helpers and the independent tools (python3's
// zlib, the bzip2 command) that check what our streams write.

class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    // Path of `name` inside the directory.
    std::string operator/(const std::string& name) const { return (FPath / name).string(); }
    // The directory with a trailing separator.
    std::string WithSeparator() const { return FPath.string() + "/"; }

private:
    std::filesystem::path FPath;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string AsText(const std::vector<std::uint8_t>& bytes);

struct TCommandResult {
    int Status;
    std::string Output; // standard output
};
TCommandResult RunCommand(const std::string& command);

// Inflates the zlib stream that starts at `offset` in the file with python3's
// zlib. `Complete` tells whether it found the end of the stream.
struct TInflated {
    std::string Data;
    bool Complete;
};
TInflated InflateWithPython(const std::string& path, std::int64_t offset = 0);
// Compresses with python3's zlib at its default level.
std::string DeflateWithPython(const std::string& plain);

// Decompresses the bzip2 stream from `offset` to the end of the file with the
// bzip2 command; fails the test when bzip2 reports an error.
std::string BunzipWithTool(const std::string& path, std::int64_t offset = 0);

// Bytes that compress moderately, from a fixed seed.
std::string SampleData(std::size_t size, unsigned seed = 1);
// Bytes that do not compress.
std::string NoiseData(std::size_t size, unsigned seed = 1);
