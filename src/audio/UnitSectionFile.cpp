#include "audio/UnitSectionFile.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {
[[noreturn]] void ThrowFileError(const std::string& what, const std::string& path, int error) {
    throw std::system_error(error, std::generic_category(), what + " " + path);
}

// The upload side's finality test holds the same lock for a moment; only a
// lock that stays taken means someone else owns the file.
bool LockExclusively(int handle) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (::flock(handle, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}
} // namespace

TSectionFile::TSectionFile(const std::string& path) : FPath(path) {
    FHandle = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (FHandle < 0)
        ThrowFileError("Cannot create", path, errno);
    // Truncate only once the lock is ours: a file someone else holds is left alone.
    if (!LockExclusively(FHandle) || ::ftruncate(FHandle, 0) != 0) {
        const int error = errno;
        ::close(FHandle);
        ThrowFileError("Cannot create", path, error);
    }
}

TSectionFile::~TSectionFile() {
    ::close(FHandle); // also releases the lock
}

void TSectionFile::Write(const void* data, size_t size) {
    auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(FHandle, bytes, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            ThrowFileError("Cannot write", FPath, errno);
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
}
