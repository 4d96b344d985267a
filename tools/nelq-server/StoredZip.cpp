#include "StoredZip.h"

#include <limits>
#include <stdexcept>

namespace {

constexpr std::uint32_t LocalSignature = 0x04034b50;
constexpr std::uint32_t CentralSignature = 0x02014b50;
constexpr std::uint32_t EndSignature = 0x06054b50;
constexpr std::uint16_t VersionNeeded = 10; // stored entries, no extensions
constexpr std::uint16_t MadeByUnix = (3 << 8) | 20;
constexpr std::uint32_t RegularFileMode = 0100644u << 16;
constexpr std::uint64_t MaxOffset = std::numeric_limits<std::uint32_t>::max();

void Put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(value >> 16));
}

} // namespace

TStoredZip::TStoredZip(std::time_t modified) {
    std::tm parts{};
    // DOS times start in 1980; an earlier clock gives that start.
    if (localtime_r(&modified, &parts) && parts.tm_year >= 80) {
        DosTime = static_cast<std::uint16_t>((parts.tm_hour << 11) | (parts.tm_min << 5) |
                                             (parts.tm_sec / 2));
        DosDate = static_cast<std::uint16_t>(((parts.tm_year - 80) << 9) |
                                             ((parts.tm_mon + 1) << 5) | parts.tm_mday);
    } else {
        DosDate = (1 << 5) | 1;
    }
}

void TStoredZip::Advance(std::uint64_t bytes) {
    FOffset += bytes;
    if (FOffset > MaxOffset)
        throw std::length_error("The archive would pass 4 GiB.");
}

std::string TStoredZip::Entry(const std::string& name, std::uint32_t crc, std::uint32_t size) {
    Entries.push_back({name, crc, size, static_cast<std::uint32_t>(FOffset)});
    std::string header;
    Put32(header, LocalSignature);
    Put16(header, VersionNeeded);
    Put16(header, 0); // flags
    Put16(header, 0); // stored
    Put16(header, DosTime);
    Put16(header, DosDate);
    Put32(header, crc);
    Put32(header, size); // compressed size
    Put32(header, size);
    Put16(header, static_cast<std::uint16_t>(name.size()));
    Put16(header, 0); // extra field
    header += name;
    Advance(header.size() + size);
    return header;
}

std::string TStoredZip::Finish() {
    std::string directory;
    for (const TCentralEntry& entry : Entries) {
        Put32(directory, CentralSignature);
        Put16(directory, MadeByUnix);
        Put16(directory, VersionNeeded);
        Put16(directory, 0); // flags
        Put16(directory, 0); // stored
        Put16(directory, DosTime);
        Put16(directory, DosDate);
        Put32(directory, entry.Crc);
        Put32(directory, entry.Size);
        Put32(directory, entry.Size);
        Put16(directory, static_cast<std::uint16_t>(entry.Name.size()));
        Put16(directory, 0); // extra field
        Put16(directory, 0); // comment
        Put16(directory, 0); // disk
        Put16(directory, 0); // internal attributes
        Put32(directory, RegularFileMode);
        Put32(directory, entry.HeaderOffset);
        directory += entry.Name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(FOffset);
    const auto directorySize = static_cast<std::uint32_t>(directory.size());
    const auto count = static_cast<std::uint16_t>(Entries.size());
    Put32(directory, EndSignature);
    Put16(directory, 0); // this disk
    Put16(directory, 0); // the directory's disk
    Put16(directory, count);
    Put16(directory, count);
    Put32(directory, directorySize);
    Put32(directory, directoryOffset);
    Put16(directory, 0); // comment
    Advance(directory.size());
    return directory;
}
