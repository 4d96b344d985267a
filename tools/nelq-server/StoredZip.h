#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// The headers of a zip archive whose entries are stored as they are
// (method 0), laid out one entry after another: each local header is
// followed by the entry's bytes, then comes the central directory. Sizes and
// CRC-32s are known up front, so no data descriptors are needed and any zip
// reader checks every entry against its header.
class TStoredZip {
public:
    // Every entry carries `modified` as its time.
    explicit TStoredZip(std::time_t modified);

    // The local header of the next entry, whose `size` bytes the caller puts
    // after it. Throws std::length_error past the 4 GiB a zip without its
    // 64-bit extension can address.
    std::string Entry(const std::string& name, std::uint32_t crc, std::uint32_t size);
    // The central directory and its end record, after the last entry.
    std::string Finish();

    // Where the next header goes.
    std::uint64_t Offset() const { return FOffset; }

private:
    struct TCentralEntry {
        std::string Name;
        std::uint32_t Crc;
        std::uint32_t Size;
        std::uint32_t HeaderOffset;
    };

    void Advance(std::uint64_t bytes);

    std::uint16_t DosTime = 0;
    std::uint16_t DosDate = 0;
    std::uint64_t FOffset = 0;
    std::vector<TCentralEntry> Entries;
};
