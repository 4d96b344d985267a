#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

// The byte streams the demo code reads and writes through: an abstract
// stream with positioned reads and writes, a growable memory stream and a
// file stream.

enum class TSeekOrigin { Beginning, Current, End };

class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class TStream {
public:
    TStream() = default;
    virtual ~TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Returns the number of bytes read; fewer than count only at the end of data.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // Returns the number of bytes written.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // Returns the new position.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size();

    std::int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::Beginning); }

    // All or nothing: "Stream read error" / "Stream write error" otherwise.
    void ReadBuffer(void* buffer, std::size_t count);
    void WriteBuffer(const void* buffer, std::size_t count);
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(FSize); }

    const std::uint8_t* Memory() const { return FData.get(); }
    std::size_t ByteSize() const { return FSize; }
    void Clear();

private:
    struct FreeDeleter {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    void Reserve(std::size_t capacity);

    // Grown with realloc so that a large stream can grow in place instead of
    // being copied into a second allocation.
    std::unique_ptr<std::uint8_t, FreeDeleter> FData;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
    std::size_t FPosition = 0;
};

class TFileStream : public TStream {
public:
    enum class TMode {
        OpenRead,      // existing file, read only
        OpenReadWrite, // existing file
        Create         // created or truncated, read and write
    };
    TFileStream(const std::string& path, TMode mode);
    ~TFileStream() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    const std::string& FileName() const { return FFileName; }

private:
    std::string FFileName;
    int FHandle = -1;
};
