#pragma once

#include <filesystem>

// A stored part open for reading by offset (pread, sendfile): one
// descriptor serves any number of readers at once, as none moves a position.
class TPartFile {
public:
    explicit TPartFile(const std::filesystem::path& path); // !IsOpen() when it cannot be opened
    ~TPartFile();
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    bool IsOpen() const { return Handle >= 0; }
    int Descriptor() const { return Handle; }

private:
    const int Handle;
};
