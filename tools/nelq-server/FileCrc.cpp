#include "FileCrc.h"

#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace {

constexpr std::size_t CrcChunk = 1 << 20;

} // namespace

std::uint32_t FileCrc(const std::filesystem::path& path, std::uint64_t offset,
                      std::uint64_t length) {
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        throw std::runtime_error("Cannot open " + path.string() + ".");
    std::string chunk(std::min<std::uint64_t>(CrcChunk, length), '\0');
    std::uint32_t crc = 0;
    while (length > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(length, CrcChunk));
        const ssize_t got = ::pread(file, chunk.data(), want, static_cast<off_t>(offset));
        if (got <= 0) {
            ::close(file);
            throw std::runtime_error("Cannot read " + path.string() + " whole.");
        }
        crc = static_cast<std::uint32_t>(
            crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(got)));
        offset += static_cast<std::uint64_t>(got);
        length -= static_cast<std::uint64_t>(got);
    }
    ::close(file);
    return crc;
}
