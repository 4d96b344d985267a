#include "playback/ExtractionDirectory.h"

#include "playback/ZipArchive.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string WorkPrefix(const std::string& targetName) {
    return "." + targetName + ".";
}

[[noreturn]] void Fail(const std::string& what, const fs::path& path, int error = errno) {
    throw EArchiveError(what + " \"" + path.string() + "\": " + std::strerror(error));
}

fs::path MakeTemporaryDirectory(const fs::path& parent, const std::string& prefix) {
    std::string path = (parent / (prefix + "XXXXXX")).string();
    if (!mkdtemp(path.data()))
        Fail("Cannot create the directory", path);
    // mkdtemp makes it private; the extraction directory never was.
    chmod(path.c_str(), 0755);
    return path;
}

// What cannot be removed now is tried again by the next extraction.
void RemoveQuietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

void RemoveWorkDirectories(const fs::path& parent, const std::string& targetName) {
    std::vector<fs::path> leftovers;
    std::error_code ec;
    for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec))
        if (IsExtractionWorkDirectory(it->path().filename().string(), targetName))
            leftovers.push_back(it->path());
    for (const fs::path& leftover : leftovers)
        RemoveQuietly(leftover);
}

} // namespace

TExtractionDirectory::TExtractionDirectory(const fs::path& target)
    : FTarget(target.filename().empty() ? target.parent_path() : target) {
    const fs::path parent = FTarget.parent_path();
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec)
        throw EArchiveError("Cannot create the directory \"" + parent.string() +
                            "\": " + ec.message());
    const std::string name = FTarget.filename().string();
    RemoveWorkDirectories(parent, name);
    FWork = MakeTemporaryDirectory(parent, WorkPrefix(name) + "new-");
}

TExtractionDirectory::~TExtractionDirectory() {
    if (!FCommitted)
        RemoveQuietly(FWork);
}

void TExtractionDirectory::Commit() {
    struct stat existing;
    if (lstat(FTarget.c_str(), &existing) != 0) {
        if (errno != ENOENT || rename(FWork.c_str(), FTarget.c_str()) != 0)
            Fail("Cannot create", FTarget);
        FCommitted = true;
        return;
    }
    if (renameat2(AT_FDCWD, FWork.c_str(), AT_FDCWD, FTarget.c_str(), RENAME_EXCHANGE) == 0) {
        FCommitted = true;
        RemoveQuietly(FWork); // now the old content
        return;
    }
    if (errno != EINVAL && errno != ENOSYS)
        Fail("Cannot replace", FTarget);
    ReplaceInTwoSteps();
}

// For file systems that cannot swap (NFS, for one): the old content is moved
// aside and moved back if the new one cannot take its place.
void TExtractionDirectory::ReplaceInTwoSteps() {
    const fs::path aside = MakeTemporaryDirectory(FTarget.parent_path(),
                                                  WorkPrefix(FTarget.filename().string()) + "old-");
    if (rename(FTarget.c_str(), aside.c_str()) != 0) {
        const int error = errno;
        RemoveQuietly(aside);
        Fail("Cannot replace", FTarget, error);
    }
    if (rename(FWork.c_str(), FTarget.c_str()) != 0) {
        const int error = errno;
        rename(aside.c_str(), FTarget.c_str());
        Fail("Cannot replace", FTarget, error);
    }
    FCommitted = true;
    RemoveQuietly(aside);
}

bool IsExtractionWorkDirectory(const std::string& name, const std::string& targetName) {
    return name.starts_with(WorkPrefix(targetName));
}
