#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

// The viewers' process of the soak: three viewer download threads of the
// client fetch the cast live from section 0, each through a fault relay of
// its own with drops and one stall over `duration`. Viewer k keeps its files
// in directory/viewer-k (streams/, events). Returns once every viewer heard
// that the cast ended, or after `limit`.
int RunSoakViewers(const std::filesystem::path& directory, std::chrono::seconds duration,
                   std::chrono::seconds limit, std::uint32_t seed);

std::filesystem::path ViewerDirectory(const std::filesystem::path& directory, int viewer);
