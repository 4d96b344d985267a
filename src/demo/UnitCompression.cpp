#include "demo/UnitCompression.h"

#include "demo/StreamSeeking.h"

#include <climits>
#include <string>

namespace {

constexpr int CompressionLevels[] = {Z_NO_COMPRESSION, Z_BEST_SPEED, Z_DEFAULT_COMPRESSION,
                                     Z_BEST_COMPRESSION};

int CCheck(int code) {
    if (code < 0)
        throw ECompressionError("error");
    return code;
}

uInt ChunkSize(std::size_t count) {
    if (count > UINT_MAX)
        throw EStreamError("Stream request too large");
    return static_cast<uInt>(count);
}

} // namespace

TCustomZlibStream::TCustomZlibStream(TStream& strm)
    : FStrm(strm), FStrmPos(strm.Position()), FBuffer(new Bytef[ZlibBufferSize]) {}

// ---------------------------------------------------------------- compression

TCompressionStream::TCompressionStream(int levelIndex, TStream& dest) : TCustomZlibStream(dest) {
    if (levelIndex < 0 || levelIndex > 3)
        throw ECompressionError("Invalid compression level");
    FZRec.next_out = FBuffer.get();
    FZRec.avail_out = ZlibBufferSize;
    CCheck(deflateInit(&FZRec, CompressionLevels[levelIndex]));
}

TCompressionStream::~TCompressionStream() {
    try {
        Finish();
    } catch (...) {
        // A destructor cannot report; callers that care call Finish first.
    }
    deflateEnd(&FZRec);
}

std::size_t TCompressionStream::Read(void*, std::size_t) {
    throw ECompressionError("Invalid stream operation");
}

void TCompressionStream::FlushBuffer() {
    FStrm.WriteBuffer(FBuffer.get(), ZlibBufferSize - FZRec.avail_out);
    FZRec.next_out = FBuffer.get();
    FZRec.avail_out = ZlibBufferSize;
    FStrmPos = FStrm.Position();
}

std::size_t TCompressionStream::Write(const void* buffer, std::size_t count) {
    if (FFinished)
        throw ECompressionError("Invalid stream operation");
    FZRec.next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
    FZRec.avail_in = ChunkSize(count);
    if (FStrm.Position() != FStrmPos)
        FStrm.SetPosition(FStrmPos);
    while (FZRec.avail_in > 0) {
        CCheck(deflate(&FZRec, Z_NO_FLUSH));
        if (FZRec.avail_out == 0)
            FlushBuffer();
    }
    return count;
}

void TCompressionStream::Finish() {
    if (FFinished)
        return;
    FFinished = true;
    FZRec.next_in = nullptr;
    FZRec.avail_in = 0;
    if (FStrm.Position() != FStrmPos)
        FStrm.SetPosition(FStrmPos);
    int code = Z_OK;
    while (code != Z_STREAM_END) {
        code = CCheck(deflate(&FZRec, Z_FINISH));
        if (FZRec.avail_out == 0)
            FlushBuffer();
        else if (code != Z_STREAM_END)
            throw ECompressionError("error"); // room left but no end: never leave a cut stream
    }
    if (FZRec.avail_out < ZlibBufferSize)
        FlushBuffer();
}

std::int64_t TCompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    if (offset == 0 && origin == TSeekOrigin::Current)
        return static_cast<std::int64_t>(FZRec.total_in);
    throw ECompressionError("Invalid stream operation");
}

// ---------------------------------------------------------------- decompression

TT2DecompressionStream::TT2DecompressionStream(TStream& source)
    : TCustomZlibStream(source), FStartPos(FStrmPos) {
    FZRec.next_in = FBuffer.get();
    FZRec.avail_in = 0;
    if (inflateInit(&FZRec) < 0)
        throw EDecompressionError("error");
}

TT2DecompressionStream::~TT2DecompressionStream() {
    try {
        FStrm.SetPosition(FStrmPos - static_cast<std::int64_t>(FZRec.avail_in));
    } catch (...) {
        // The source could not be moved back; nothing else to undo.
    }
    inflateEnd(&FZRec);
}

std::size_t TT2DecompressionStream::Read(void* buffer, std::size_t count) {
    if (count == 0)
        return 0;
    FZRec.next_out = static_cast<Bytef*>(buffer);
    FZRec.avail_out = ChunkSize(count);
    const auto delivered = [&] { return count - FZRec.avail_out; };
    while (FZRec.avail_out > 0) {
        int code = Z_OK;
        if (FZRec.avail_in == 0) {
            // Release output the library still holds before asking for input.
            code = inflate(&FZRec, Z_SYNC_FLUSH);
            if (code == Z_STREAM_END)
                return delivered();
            if (FZRec.avail_out > 0) {
                if (FStrm.Position() != FStrmPos)
                    FStrm.SetPosition(FStrmPos);
                FZRec.next_in = FBuffer.get();
                FZRec.avail_in = static_cast<uInt>(FStrm.Read(FBuffer.get(), ZlibBufferSize));
                FStrmPos = FStrm.Position();
                if (FZRec.avail_in == 0)
                    return delivered();
            }
        }
        if (FZRec.avail_out > 0)
            code = inflate(&FZRec, Z_SYNC_FLUSH);
        if (code == Z_STREAM_END)
            return delivered();
        // Z_NEED_DICT would never make progress: a recording has no dictionary.
        if ((code < 0 && !(code == Z_BUF_ERROR && FZRec.avail_out == 0)) || code == Z_NEED_DICT)
            throw std::runtime_error("ZLIB ERROR: " + std::to_string(code));
    }
    return count;
}

std::size_t TT2DecompressionStream::Write(const void*, std::size_t) {
    throw EDecompressionError("Invalid stream operation");
}

void TT2DecompressionStream::Restart() {
    if (inflateReset(&FZRec) < 0)
        throw EDecompressionError("error");
    FZRec.next_in = FBuffer.get();
    FZRec.avail_in = 0;
    FStrm.SetPosition(FStartPos);
    FStrmPos = FStartPos;
}

std::int64_t TT2DecompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    return SeekForwardOnly(
        *this, offset, origin, static_cast<std::int64_t>(FZRec.total_out), [this] { Restart(); },
        [] { throw EDecompressionError("Invalid stream operation"); });
}

// ---------------------------------------------------------------- copy

void InflateRecordingBody(TStream& recording, TMemoryStream& output) {
    constexpr std::size_t Chunk = 256;
    TT2DecompressionStream body(recording);
    char piece[Chunk];
    std::size_t got = 0;
    do {
        got = body.Read(piece, Chunk);
        if (got > 0)
            output.WriteBuffer(piece, got);
    } while (got == Chunk);
}
