#include "GrowingRecording.h"

#include "demo/UnitRecording.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t ReadChunk = 65536;

// The Windows build reads the same way, but must not translate line ends.
#ifdef _WIN32
constexpr int OpenFlags = O_RDONLY | O_BINARY;
#else
constexpr int OpenFlags = O_RDONLY | O_CLOEXEC;
#endif

std::uint32_t LittleEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

TGrowingRecording::TGrowingRecording(const std::string& path) : FHeadSize(RecordingHeaderSize) {
    FHandle = open(path.c_str(), OpenFlags);
    if (FHandle < 0)
        throw ERecordingReadError("cannot open " + path + ": " + std::strerror(errno));
    if (inflateInit(&FZlib) != Z_OK) {
        close(FHandle);
        throw ERecordingReadError("ZLIB ERROR: cannot start inflating");
    }
}

TGrowingRecording::~TGrowingRecording() {
    inflateEnd(&FZlib);
    close(FHandle);
}

bool TGrowingRecording::Poll() {
    struct stat file;
    if (fstat(FHandle, &file) == 0 && static_cast<std::uint64_t>(file.st_size) < FBytesRead)
        throw ERecordingReadError("the recording was cut short while it played");
    // Windows' C runtime reads nothing more once it has met the end of a
    // file, until the file is sought; so the reading goes on from here.
    if (lseek(FHandle, static_cast<off_t>(FBytesRead), SEEK_SET) < 0)
        throw ERecordingReadError(std::string("cannot read the recording: ") +
                                  std::strerror(errno));
    bool arrived = false;
    std::array<std::uint8_t, ReadChunk> chunk;
    for (;;) {
        const ssize_t got = read(FHandle, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw ERecordingReadError(std::string("cannot read the recording: ") +
                                      std::strerror(errno));
        if (got == 0)
            return arrived;
        arrived = true;
        Take(chunk.data(), static_cast<std::size_t>(got));
    }
}

std::int64_t TGrowingRecording::AvailableDemoTimeMs() const {
    return FTicks * DemoTickMs;
}

void TGrowingRecording::Take(const std::uint8_t* data, std::size_t size) {
    // The head: the fixed header announces the initial block that follows it.
    while (size > 0 && FBytesRead < FHeadSize) {
        const std::size_t part =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, FHeadSize - FBytesRead));
        if (FBytesRead < RecordingHeaderSize) {
            FHeader.insert(FHeader.end(), data, data + part);
            if (FHeader.size() == RecordingHeaderSize)
                FHeadSize += LittleEndian32(FHeader.data() + RecordingInitialBlockLengthOffset);
        }
        FBytesRead += part;
        data += part;
        size -= part;
    }
    FBytesRead += size;
    if (size > 0 && !FBodyEnded)
        Inflate(data, size);
}

void TGrowingRecording::Inflate(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, ReadChunk> out;
    FZlib.next_in = const_cast<std::uint8_t*>(data);
    FZlib.avail_in = static_cast<uInt>(size);
    do {
        FZlib.next_out = out.data();
        FZlib.avail_out = static_cast<uInt>(out.size());
        const int result = inflate(&FZlib, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            throw ERecordingReadError("ZLIB ERROR: " + std::to_string(result));
        FPackets.insert(FPackets.end(), out.data(), out.data() + (out.size() - FZlib.avail_out));
        if (result == Z_STREAM_END) {
            FBodyEnded = true; // anything after the stream is not the body
            break;
        }
        if (result == Z_BUF_ERROR && FZlib.avail_out > 0)
            break; // needs more input
    } while (FZlib.avail_in > 0 || FZlib.avail_out == 0);
    CountTicks();
}

void TGrowingRecording::CountTicks() {
    std::size_t at = 0;
    while (FPackets.size() - at >= 2) {
        const auto header = static_cast<std::uint16_t>(FPackets[at] | FPackets[at + 1] << 8);
        const std::size_t blockSize = 2 + PacketPayloadLength(header);
        if (FPackets.size() - at < blockSize)
            break; // the rest of this block has not arrived yet
        FTicks += IsTimeTick(header) ? 1 : 0;
        at += blockSize;
    }
    FPackets.erase(FPackets.begin(), FPackets.begin() + static_cast<std::ptrdiff_t>(at));
}
