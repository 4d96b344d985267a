#pragma once

#include <cstdint>
#include <filesystem>

// The CRC-32 (as zip keeps it) of `length` bytes of a file from `offset`,
// read in blocks. Throws std::runtime_error when they cannot be read whole.
std::uint32_t FileCrc(const std::filesystem::path& path, std::uint64_t offset,
                      std::uint64_t length);
