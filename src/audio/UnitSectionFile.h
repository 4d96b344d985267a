#pragma once

#include <cstddef>
#include <string>

// A section's audio file while it is being written: created or truncated, held
// open for writing under an exclusive lock so that readers can tell it is not
// final yet. Closing it (destruction) makes it final.
class TSectionFile {
public:
    explicit TSectionFile(const std::string& path);
    ~TSectionFile();

    TSectionFile(const TSectionFile&) = delete;
    TSectionFile& operator=(const TSectionFile&) = delete;

    void Write(const void* data, size_t size); // all bytes or an exception
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
    int FHandle = -1;
};
