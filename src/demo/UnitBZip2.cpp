#include "demo/UnitBZip2.h"

#include "demo/StreamSeeking.h"

#include <climits>
#include <string>

namespace {

constexpr std::size_t CopyChunk = 4097;

std::string CodeMessage(int code) {
    return "error " + std::to_string(code);
}

int BzCheck(int code) {
    if (code < 0)
        throw EBZCompressionError(CodeMessage(code));
    return code;
}

unsigned BzChunkSize(std::size_t count) {
    if (count > UINT_MAX)
        throw EStreamError("Stream request too large");
    return static_cast<unsigned>(count);
}

} // namespace

TCustomBZip2Stream::TCustomBZip2Stream(TStream& strm)
    : FStrm(strm), FStrmPos(strm.Position()), FBuffer(new char[BZip2BufferSize]) {}

// ---------------------------------------------------------------- compression

TBZCompressionStream::TBZCompressionStream(int blockSizeIndex, TStream& dest)
    : TCustomBZip2Stream(dest) {
    if (blockSizeIndex < 0 || blockSizeIndex > 8)
        throw EBZCompressionError("Invalid block size");
    FBZRec.next_out = FBuffer.get();
    FBZRec.avail_out = BZip2BufferSize;
    BzCheck(BZ2_bzCompressInit(&FBZRec, blockSizeIndex + 1, 0, 0));
}

TBZCompressionStream::~TBZCompressionStream() {
    try {
        Finish();
    } catch (...) {
        // A destructor cannot report; callers that care call Finish first.
    }
    BZ2_bzCompressEnd(&FBZRec);
}

std::size_t TBZCompressionStream::Read(void*, std::size_t) {
    throw EBZCompressionError("Invalid stream operation");
}

void TBZCompressionStream::FlushBuffer() {
    FStrm.WriteBuffer(FBuffer.get(), BZip2BufferSize - FBZRec.avail_out);
    FBZRec.next_out = FBuffer.get();
    FBZRec.avail_out = BZip2BufferSize;
    FStrmPos = FStrm.Position();
}

std::size_t TBZCompressionStream::Write(const void* buffer, std::size_t count) {
    if (FFinished)
        throw EBZCompressionError("Invalid stream operation");
    FBZRec.next_in = static_cast<char*>(const_cast<void*>(buffer));
    FBZRec.avail_in = BzChunkSize(count);
    if (FStrm.Position() != FStrmPos)
        FStrm.SetPosition(FStrmPos);
    while (FBZRec.avail_in > 0) {
        BzCheck(BZ2_bzCompress(&FBZRec, BZ_RUN));
        if (FBZRec.avail_out == 0)
            FlushBuffer();
    }
    return count;
}

void TBZCompressionStream::Finish() {
    if (FFinished)
        return;
    FFinished = true;
    FBZRec.next_in = nullptr;
    FBZRec.avail_in = 0;
    if (FStrm.Position() != FStrmPos)
        FStrm.SetPosition(FStrmPos);
    int code = BZ_FINISH_OK;
    while (code != BZ_STREAM_END) {
        code = BzCheck(BZ2_bzCompress(&FBZRec, BZ_FINISH));
        if (FBZRec.avail_out == 0)
            FlushBuffer();
        else if (code != BZ_STREAM_END)
            throw EBZCompressionError(CodeMessage(code)); // never leave a cut stream
    }
    if (FBZRec.avail_out < BZip2BufferSize)
        FlushBuffer();
}

std::int64_t TBZCompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    if (offset == 0 && origin == TSeekOrigin::Current)
        return (static_cast<std::int64_t>(FBZRec.total_in_hi32) << 32) | FBZRec.total_in_lo32;
    throw EBZCompressionError("Invalid stream operation");
}

// ---------------------------------------------------------------- decompression

TBZDecompressionStream::TBZDecompressionStream(TStream& source)
    : TCustomBZip2Stream(source), FStartPos(FStrmPos) {
    FBZRec.next_in = FBuffer.get();
    FBZRec.avail_in = 0;
    const int code = BZ2_bzDecompressInit(&FBZRec, 0, 0);
    if (code < 0)
        throw EBZDecompressionError(CodeMessage(code));
}

TBZDecompressionStream::~TBZDecompressionStream() {
    BZ2_bzDecompressEnd(&FBZRec);
}

std::size_t TBZDecompressionStream::Read(void* buffer, std::size_t count) {
    FBZRec.next_out = static_cast<char*>(buffer);
    FBZRec.avail_out = BzChunkSize(count);
    const auto delivered = [&] {
        const std::size_t n = count - FBZRec.avail_out;
        FDelivered += static_cast<std::int64_t>(n);
        return n;
    };
    if (FStrm.Position() != FStrmPos)
        FStrm.SetPosition(FStrmPos);
    while (FBZRec.avail_out > 0 && !FEnded) {
        if (FBZRec.avail_in == 0) {
            FBZRec.next_in = FBuffer.get();
            FBZRec.avail_in = static_cast<unsigned>(FStrm.Read(FBuffer.get(), BZip2BufferSize));
            FStrmPos = FStrm.Position();
            if (FBZRec.avail_in == 0)
                break;
        }
        // The library refuses calls after the end of its stream, so we stop there.
        FEnded = BzCheck(BZ2_bzDecompress(&FBZRec)) == BZ_STREAM_END;
    }
    return delivered();
}

std::size_t TBZDecompressionStream::Write(const void*, std::size_t) {
    throw EBZDecompressionError("Invalid stream operation");
}

void TBZDecompressionStream::Restart() {
    BZ2_bzDecompressEnd(&FBZRec);
    FBZRec = bz_stream{};
    const int code = BZ2_bzDecompressInit(&FBZRec, 0, 0);
    if (code < 0)
        throw EBZDecompressionError(CodeMessage(code));
    FBZRec.next_in = FBuffer.get();
    FBZRec.avail_in = 0;
    FStrm.SetPosition(FStartPos);
    FStrmPos = FStartPos;
    FDelivered = 0;
    FEnded = false;
}

std::int64_t TBZDecompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    return SeekForwardOnly(
        *this, offset, origin, FDelivered, [this] { Restart(); },
        [] { throw EBZDecompressionError("Invalid stream operation"); });
}

// ---------------------------------------------------------------- copies

void BunzipToStream(TStream& source, TStream& target) {
    TBZDecompressionStream plain(source);
    char piece[CopyChunk];
    std::size_t got = 0;
    do {
        got = plain.Read(piece, CopyChunk);
        if (got > 0)
            target.WriteBuffer(piece, got);
    } while (got == CopyChunk);
}

void BzipFromStream(TMemoryStream& source, TStream& target) {
    TBZCompressionStream packed(8, target);
    char piece[CopyChunk];
    for (std::size_t got; (got = source.Read(piece, CopyChunk)) > 0;)
        packed.WriteBuffer(piece, got);
    packed.Finish();
}
