#pragma once

#include "demo/UnitStreams.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <zlib.h>

// zlib streams: a compressing stream that writes into a target stream, and the
// recording decompression stream, which reads a recording body from its file.

class EZlibError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class ECompressionError : public EZlibError {
public:
    using EZlibError::EZlibError;
};
class EDecompressionError : public EZlibError {
public:
    using EZlibError::EZlibError;
};

inline constexpr std::size_t ZlibBufferSize = 65536;

class TCustomZlibStream : public TStream {
protected:
    explicit TCustomZlibStream(TStream& strm);

    TStream& FStrm;                   // target or source
    std::int64_t FStrmPos;            // where our data continues in FStrm
    z_stream FZRec{};                 // library state
    std::unique_ptr<Bytef[]> FBuffer; // ZlibBufferSize bytes
};

// Compression level index 0..3: none, fastest, default, best.
class TCompressionStream : public TCustomZlibStream {
public:
    TCompressionStream(int levelIndex, TStream& dest);
    // Finishes the stream if Finish has not run; errors then go unreported.
    ~TCompressionStream() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    // Only Seek(0, Current): the number of plain bytes taken so far.
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    // Ends the zlib stream and writes what is left to the target. Call it to
    // learn of write failures; a second call does nothing.
    void Finish();

private:
    void FlushBuffer();
    bool FFinished = false;
};

// Reads a recording body. A read delivers fewer bytes than asked only at the
// end of the zlib stream or when the source has no more data, so a body
// without an end marker reads to the end of the file without error.
class TT2DecompressionStream : public TCustomZlibStream {
public:
    explicit TT2DecompressionStream(TStream& source);
    // Moves the source back by the input it read but did not use, so that it
    // stands right after the compressed data.
    ~TT2DecompressionStream() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

private:
    void Restart();
    std::int64_t FStartPos; // where the compressed data begins in the source
};

// Appends the inflated packet stream of a recording, whose file stands at the
// body, to `output`.
void InflateRecordingBody(TStream& recording, TMemoryStream& output);
