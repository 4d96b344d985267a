#pragma once

#include <cstdint>
#include <filesystem>

// A stored part mapped into memory for reading, as large as it was
// announced: every viewer's writes take their bytes from the same pages
// (the file's own cached pages), so no viewer gets a copy of its own. Only
// bytes the filmer has written may be read; the server never shortens a
// part it serves.
class TPartMap {
public:
    // !IsOpen() when the file cannot be opened or mapped.
    TPartMap(const std::filesystem::path& path, std::int32_t size);
    ~TPartMap();
    TPartMap(const TPartMap&) = delete;
    TPartMap& operator=(const TPartMap&) = delete;

    bool IsOpen() const { return Opened; }
    const char* Bytes() const { return static_cast<const char*>(Address); }

    // Whether the file still reaches `end`. A file cut short from outside
    // reads as zeros to the end of its last page and fails past it (the
    // kernel's copy fails; no signal), so a sender asks before each block.
    bool Reaches(std::int32_t end) const;

private:
    void* Address = nullptr;
    std::size_t Size = 0;
    int File = -1;
    bool Opened = false;
};
