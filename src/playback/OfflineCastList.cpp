#include "playback/OfflineCastList.h"

#include "platform/AsciiText.h"
#include "playback/ExtractionDirectory.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

bool HasArchiveExtension(const fs::path& path) {
    const std::string extension = AsciiLower(path.extension().string());
    return extension == ".zip" || extension == ".qmx";
}

std::vector<std::string> Entries(const std::string& directory, bool directories,
                                 const std::string& extension) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name == ExtractionDirectoryName ||
            IsExtractionWorkDirectory(name, ExtractionDirectoryName))
            continue;
        std::error_code typeError;
        if (it->is_symlink(typeError))
            continue;
        if (directories ? it->is_directory(typeError)
                        : it->is_regular_file(typeError) &&
                              AsciiLower(it->path().extension().string()) == extension)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

std::vector<std::string> ListOfflineCasts(const std::string& streamsDirectory) {
    std::vector<std::string> casts = Entries(streamsDirectory, true, {});
    for (const char* extension : {".zip", ".qmx"}) {
        const std::vector<std::string> archives = Entries(streamsDirectory, false, extension);
        casts.insert(casts.end(), archives.begin(), archives.end());
    }
    return casts;
}

bool IsCastArchive(const std::string& streamsDirectory, const std::string& name) {
    std::error_code ec;
    const fs::path path = fs::path(streamsDirectory) / name;
    return HasArchiveExtension(path) && !fs::is_directory(path, ec);
}
