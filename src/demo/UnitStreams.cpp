#include "demo/UnitStreams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <unistd.h>

std::int64_t TStream::Size() {
    const std::int64_t here = Position();
    const std::int64_t end = Seek(0, TSeekOrigin::End);
    Seek(here, TSeekOrigin::Beginning);
    return end;
}

void TStream::ReadBuffer(void* buffer, std::size_t count) {
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

// ---------------------------------------------------------------- memory

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (FPosition >= FSize)
        return 0;
    const std::size_t n = std::min(count, FSize - FPosition);
    std::memcpy(buffer, FData.get() + FPosition, n);
    FPosition += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0)
        return 0;
    if (count > std::numeric_limits<std::size_t>::max() - FPosition)
        throw EWriteError("Stream write error");
    const std::size_t end = FPosition + count;
    if (end > FCapacity)
        Reserve(std::max({end, FCapacity + FCapacity / 2, std::size_t{4096}}));
    if (FPosition > FSize)
        std::memset(FData.get() + FSize, 0, FPosition - FSize);
    std::memcpy(FData.get() + FPosition, buffer, count);
    FPosition = end;
    FSize = std::max(FSize, end);
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == TSeekOrigin::Current)
        base = static_cast<std::int64_t>(FPosition);
    else if (origin == TSeekOrigin::End)
        base = static_cast<std::int64_t>(FSize);
    const std::int64_t target = base + offset;
    if (target < 0)
        throw EStreamError("Invalid stream position");
    FPosition = static_cast<std::size_t>(target);
    return target;
}

void TMemoryStream::Clear() {
    FData.reset();
    FSize = FCapacity = FPosition = 0;
}

void TMemoryStream::Reserve(std::size_t capacity) {
    auto* grown = static_cast<std::uint8_t*>(std::realloc(FData.get(), capacity));
    if (grown == nullptr)
        throw std::bad_alloc();
    (void)FData.release();
    FData.reset(grown);
    FCapacity = capacity;
}

// ---------------------------------------------------------------- file

namespace {

std::string SystemMessage(int error) {
    return std::strerror(error);
}

} // namespace

TFileStream::TFileStream(const std::string& path, TMode mode) : FFileName(path) {
    int flags = O_CLOEXEC;
    switch (mode) {
    case TMode::OpenRead:
        flags |= O_RDONLY;
        break;
    case TMode::OpenReadWrite:
        flags |= O_RDWR;
        break;
    case TMode::Create:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    }
    FHandle = ::open(path.c_str(), flags, 0644);
    if (FHandle < 0) {
        const std::string reason = SystemMessage(errno);
        if (mode == TMode::Create)
            throw EFCreateError("Cannot create file \"" + path + "\". " + reason);
        throw EFOpenError("Cannot open file \"" + path + "\". " + reason);
    }
}

TFileStream::~TFileStream() {
    ::close(FHandle);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(FHandle, out + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EReadError("Cannot read \"" + FFileName + "\". " + SystemMessage(errno));
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(FHandle, in + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EWriteError("Cannot write \"" + FFileName + "\". " + SystemMessage(errno));
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    const int whence = origin == TSeekOrigin::Beginning ? SEEK_SET
                       : origin == TSeekOrigin::Current ? SEEK_CUR
                                                        : SEEK_END;
    const off_t result = ::lseek(FHandle, static_cast<off_t>(offset), whence);
    if (result < 0)
        throw EStreamError("Cannot seek in \"" + FFileName + "\". " + SystemMessage(errno));
    return result;
}
