#pragma once

#include "demo/UnitStreams.h"

#include <bzlib.h>
#include <cstdint>
#include <memory>
#include <stdexcept>

// libbzip2 streams: compression into a target stream and decompression from a
// source stream, plus the copy operations that demo parts are made and read with.

class EBZip2Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EBZCompressionError : public EBZip2Error {
public:
    using EBZip2Error::EBZip2Error;
};
class EBZDecompressionError : public EBZip2Error {
public:
    using EBZip2Error::EBZip2Error;
};

inline constexpr std::size_t BZip2BufferSize = 65536;

class TCustomBZip2Stream : public TStream {
protected:
    explicit TCustomBZip2Stream(TStream& strm);

    TStream& FStrm;                  // target or source
    std::int64_t FStrmPos;           // where our data continues in FStrm
    bz_stream FBZRec{};              // library state
    std::unique_ptr<char[]> FBuffer; // BZip2BufferSize bytes
};

// Block-size index 0..8: blocks of 100 to 900 kB.
class TBZCompressionStream : public TCustomBZip2Stream {
public:
    TBZCompressionStream(int blockSizeIndex, TStream& dest);
    // Finishes the stream if Finish has not run; errors then go unreported.
    ~TBZCompressionStream() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    // Only Seek(0, Current): the number of plain bytes taken so far.
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    // Ends the bzip2 stream and writes what is left to the target. Call it to
    // learn of write failures; a second call does nothing.
    void Finish();

private:
    void FlushBuffer();
    bool FFinished = false;
};

// Reads plain data until the end of the bzip2 stream or of the source.
class TBZDecompressionStream : public TCustomBZip2Stream {
public:
    explicit TBZDecompressionStream(TStream& source);
    ~TBZDecompressionStream() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

private:
    void Restart();
    std::int64_t FStartPos; // where the compressed data begins in the source
    std::int64_t FDelivered = 0;
    bool FEnded = false; // the library reported the end of the stream
};

// Decompresses the bzip2 stream at the source's position, which runs to its
// end, into `target`.
void BunzipToStream(TStream& source, TStream& target);

// Compresses `source` from its position on into `target` at its position, as
// one bzip2 stream with 900 kB blocks.
void BzipFromStream(TMemoryStream& source, TStream& target);
