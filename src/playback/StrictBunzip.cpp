#include "playback/StrictBunzip.h"

#include "playback/AssemblyError.h"

#include <algorithm>
#include <bzlib.h>
#include <memory>

namespace {

constexpr std::size_t InputChunk = 65536;
constexpr std::size_t OutputChunk = 262144;

// Releases the library state however decoding ends.
struct TBZipDecoder {
    bz_stream State{};
    TBZipDecoder() {
        const int code = BZ2_bzDecompressInit(&State, 0, 0);
        if (code != BZ_OK)
            throw EAssemblyError("The bzip2 decoder cannot start (error " + std::to_string(code) +
                                 ")");
    }
    ~TBZipDecoder() { BZ2_bzDecompressEnd(&State); }
    TBZipDecoder(const TBZipDecoder&) = delete;
    TBZipDecoder& operator=(const TBZipDecoder&) = delete;
};

std::string DescribeCode(int code) {
    switch (code) {
    case BZ_DATA_ERROR_MAGIC:
        return "it does not start like bzip2 data";
    case BZ_DATA_ERROR:
        return "its bzip2 data is corrupt";
    case BZ_MEM_ERROR:
        return "there is not enough memory to decode it";
    default:
        return "bzip2 error " + std::to_string(code);
    }
}

} // namespace

void BunzipStrict(TStream& source, std::int64_t length, std::size_t limit, TMemoryStream& plain,
                  const std::string& what) {
    TBZipDecoder decoder;
    auto input = std::make_unique<char[]>(InputChunk);
    auto output = std::make_unique<char[]>(OutputChunk);
    std::int64_t unread = length;
    std::size_t produced = 0;
    int code = BZ_OK;
    bool outputFull = false; // the library may hold more output without new input
    while (code != BZ_STREAM_END) {
        if (decoder.State.avail_in == 0 && !outputFull) {
            const auto want = static_cast<std::size_t>(
                std::min<std::int64_t>(unread, static_cast<std::int64_t>(InputChunk)));
            const std::size_t got = want == 0 ? 0 : source.Read(input.get(), want);
            if (got == 0)
                throw EAssemblyError(what + " is cut short: its bzip2 stream has no end");
            unread -= static_cast<std::int64_t>(got);
            decoder.State.next_in = input.get();
            decoder.State.avail_in = static_cast<unsigned>(got);
        }
        decoder.State.next_out = output.get();
        decoder.State.avail_out = OutputChunk;
        code = BZ2_bzDecompress(&decoder.State);
        if (code != BZ_OK && code != BZ_STREAM_END)
            throw EAssemblyError(what + " cannot be decoded: " + DescribeCode(code));
        outputFull = decoder.State.avail_out == 0;
        const std::size_t piece = OutputChunk - decoder.State.avail_out;
        if (piece > limit - produced)
            throw EAssemblyError(what + " expands beyond " + std::to_string(limit) + " bytes");
        produced += piece;
        plain.WriteBuffer(output.get(), piece);
    }
}
