#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>
#include <zlib.h>

// A recording read while it is still being written: the client appends to a
// rebuilt recording in pieces, so every Poll takes what has arrived since the
// last one, passes the head, inflates the body as far as it goes and counts
// the time ticks of the whole packet blocks it holds.
class ERecordingReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TGrowingRecording {
public:
    // Throws ERecordingReadError when the file cannot be opened.
    explicit TGrowingRecording(const std::string& path);
    ~TGrowingRecording();
    TGrowingRecording(const TGrowingRecording&) = delete;
    TGrowingRecording& operator=(const TGrowingRecording&) = delete;

    // Reads what has arrived; returns whether anything did. A corrupt body
    // ("ZLIB ERROR: " and the code) or a file that shrinks raises.
    bool Poll();

    bool HeadComplete() const { return FBytesRead >= FHeadSize; }
    // The zlib stream has ended: the writer has finished the recording.
    bool BodyEnded() const { return FBodyEnded; }
    // Demo time covered by the time ticks of the whole blocks read so far.
    std::int64_t AvailableDemoTimeMs() const;

private:
    void Take(const std::uint8_t* data, std::size_t size);
    void Inflate(const std::uint8_t* data, std::size_t size);
    void CountTicks();

    int FHandle = -1;
    std::uint64_t FBytesRead = 0;
    std::uint64_t FHeadSize; // the 30-byte header until it has been read
    std::vector<std::uint8_t> FHeader;
    z_stream FZlib{};
    bool FBodyEnded = false;
    std::vector<std::uint8_t> FPackets; // inflated bytes not yet counted
    std::int64_t FTicks = 0;
};
