#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

struct mpg123_handle_struct;

// A file that cannot be decoded as MP3 audio.
class EMp3Decoder : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A decode-only MP3 stream over libmpg123: 16-bit signed PCM at the rate and
// channel count the file starts with, throughout, pulled into the caller's
// buffer. Lengths and positions count decoded bytes.
class TMp3Decoder {
public:
    // Raises EMp3Decoder with a message naming the file when it holds no MP3 audio.
    explicit TMp3Decoder(const std::string& path);
    ~TMp3Decoder();

    TMp3Decoder(const TMp3Decoder&) = delete;
    TMp3Decoder& operator=(const TMp3Decoder&) = delete;

    // Grows when decoding delivers more than the file's scan counted.
    int64_t Length() const { return FLength; }
    double BytesToSeconds(int64_t bytes) const;
    int64_t SecondsToBytes(double seconds) const;

    bool Mono() const { return FChannels == 1; }
    bool EightBit() const { return false; } // always decoded to 16 bits
    int32_t Rate() const { return FRate; }
    int32_t BlockAlign() const { return FChannels * 2; }

    // Data remains to be decoded.
    bool Active() const { return !FEnded; }
    // Why decoding stopped before the end of the file; empty when it did not.
    const std::string& Failure() const { return FFailure; }
    // Decodes up to `size` bytes (whole frames only); returns the bytes written.
    int GetData(uint8_t* buffer, int size);

    int64_t Position() const { return FPosition; }
    // The next decoded byte comes from there (rounded down to a whole frame,
    // kept within the track).
    void SetPosition(int64_t bytes);

private:
    mpg123_handle_struct* FHandle = nullptr;
    int32_t FRate = 0;
    int32_t FChannels = 0;
    int64_t FLength = 0;
    // Decoded bytes before the next one: the library's own count is in the
    // rate of the frames, which converted parts do not share.
    int64_t FPosition = 0;
    bool FEnded = false;
    std::string FFailure;
};
