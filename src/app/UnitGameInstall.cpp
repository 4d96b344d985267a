#include "app/UnitGameInstall.h"

#include "platform/AsciiText.h"
#include "platform/PeVersionReader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void FailWith(const std::string& what, const std::string& path) {
    throw std::runtime_error(what + " \"" + path + "\": " + std::strerror(errno));
}

// Offset of the patched byte within the image, from its PE header.
std::size_t PatchOffset(const std::vector<char>& image, const std::string& source) {
    if (image.size() < 0x40)
        throw std::runtime_error("Not a Windows executable: \"" + source + "\"");
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(image[i]); };
    const std::size_t peOffset =
        byteAt(0x3C) | byteAt(0x3D) << 8 | byteAt(0x3E) << 16 | std::size_t{byteAt(0x3F)} << 24;
    const std::size_t offset = peOffset + PlaybackPatch::ChecksumFieldFromSignature;
    if (offset >= image.size() || std::memcmp(image.data() + peOffset, "PE\0\0", 4) != 0)
        throw std::runtime_error("Not a Windows executable: \"" + source + "\"");
    return offset;
}

} // namespace

std::string GetFileVersionString(const std::string& path) {
    return ReadPeVersionString(path, "FileVersion");
}

bool IsValidGameExecutable(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec) && GetFileVersionString(path) == RequiredGameVersion;
}

bool IsPlaybackExecutableName(const std::string& fileName) {
    return AsciiLower(fileName) == AsciiLower(PlaybackExecutableName);
}

void CreatePlaybackExecutable(const std::string& source, const std::string& gameDirectory) {
    const std::string target = gameDirectory + PlaybackExecutableName;
    std::error_code ec;
    if (fs::exists(target, ec))
        return;

    std::ifstream in(source, std::ios::binary);
    if (!in)
        FailWith("Cannot open", source);
    std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        FailWith("Cannot read", source);
    image[PatchOffset(image, source)] = static_cast<char>(PlaybackPatch::Value);

    const std::string partial = target + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out)
            FailWith("Cannot create", partial);
        out.write(image.data(), static_cast<std::streamsize>(image.size()));
        out.close();
        if (!out) {
            const int error = errno;
            fs::remove(partial, ec);
            errno = error;
            FailWith("Cannot write", partial);
        }
    }
    // The copy is started like the original (Wine, or the system's loader,
    // wants its executable bit), so it takes over the source's permissions.
    const fs::perms mode = fs::status(source, ec).permissions();
    if (!ec)
        fs::permissions(partial, mode, ec);
    if (!ec)
        fs::rename(partial, target, ec);
    if (ec) {
        const std::string reason = ec.message();
        fs::remove(partial, ec);
        throw std::runtime_error("Cannot create \"" + target + "\": " + reason);
    }
}
