#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// What every harness shares: the input as bytes, a fresh directory per input,
// and the checks that turn a broken rule into a finding.

// An input whose rule failed: prints what and aborts, so the fuzzer keeps the
// input as a crash.
[[noreturn]] void FuzzFailure(const std::string& what);
inline void FuzzCheck(bool holds, const std::string& what) {
    if (!holds)
        FuzzFailure(what);
}

std::string_view AsText(const std::uint8_t* data, std::size_t size);

// Inputs that hold several files or messages divide them with this marker
// (listed in the dictionaries, so the fuzzer finds it).
inline constexpr std::string_view PartMarker = "--8<--";
// At most `maxParts` parts; the last one keeps any further markers.
std::vector<std::string_view> SplitParts(std::string_view input, std::size_t maxParts);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the input has been handled.
class TScratchDir {
public:
    TScratchDir();
    ~TScratchDir();
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    // The path of `name` in the directory, as text.
    std::string operator/(const std::string& name) const { return (FPath / name).string(); }

private:
    std::filesystem::path FPath;
};

void WriteFile(const std::filesystem::path& path, std::string_view bytes);
std::string ReadFile(const std::filesystem::path& path);

// Every entry under `root` (links not followed), relative to it.
std::vector<std::string> EntriesUnder(const std::filesystem::path& root);
// Fails the input when anything under `root` lies outside the given folders
// (relative to `root`; a folder's parents count as inside).
void CheckWrittenOnlyInside(const std::filesystem::path& root,
                            const std::vector<std::string>& folders);
