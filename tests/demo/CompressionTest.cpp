#include "TestSupport.h"

#include "demo/UnitCompression.h"

#include <gtest/gtest.h>

namespace {

std::string Deflate(const std::string& plain, int levelIndex) {
    TMemoryStream out;
    TCompressionStream zip(levelIndex, out);
    zip.WriteBuffer(plain.data(), plain.size());
    zip.Finish();
    return {reinterpret_cast<const char*>(out.Memory()), out.ByteSize()};
}

// A file holding `prefix` and then `body`, positioned right after the prefix.
struct TBodyFile {
    TBodyFile(const TTempDir& dir, const std::string& prefix, const std::string& body)
        : Path(dir / "body.rec") {
        WriteBytes(Path, prefix + body);
        File = std::make_unique<TFileStream>(Path, TFileStream::TMode::OpenRead);
        File->SetPosition(static_cast<std::int64_t>(prefix.size()));
    }
    std::string Path;
    std::unique_ptr<TFileStream> File;
};

std::string Inflated(TStream& source) {
    TMemoryStream out;
    InflateRecordingBody(source, out);
    return {reinterpret_cast<const char*>(out.Memory()), out.ByteSize()};
}

TEST(ZlibStreams, EveryLevelMakesACompleteStreamEvenForNoInput) {
    TTempDir dir;
    const std::string plain = SampleData(100000);
    for (int level = 0; level <= 3; ++level) {
        for (const std::string& input : {std::string(), plain}) {
            WriteBytes(dir / "z", Deflate(input, level));
            const TInflated check = InflateWithPython(dir / "z");
            EXPECT_TRUE(check.Complete) << "level index " << level;
            EXPECT_EQ(check.Data, input) << "level index " << level;
        }
    }
    EXPECT_LT(Deflate(plain, 3).size(), plain.size() / 2);
    // Without Finish, destroying the stream still ends it.
    {
        TFileStream file(dir / "d", TFileStream::TMode::Create);
        TCompressionStream zip(2, file);
        zip.WriteBuffer(plain.data(), plain.size());
    }
    EXPECT_TRUE(InflateWithPython(dir / "d").Complete);
}

TEST(ZlibStreams, LevelZeroWritesOnlyStoredBlocks) {
    const std::string plain = NoiseData(200000);
    const std::string z = Deflate(plain, 0);
    // Walk the deflate blocks behind the 2-byte zlib header: each must be a
    // stored block (type 00) with LEN and its complement, holding our bytes.
    std::string contents;
    std::size_t at = 2;
    bool final = false;
    while (!final) {
        ASSERT_LT(at + 5, z.size());
        const auto header = static_cast<unsigned char>(z[at]);
        EXPECT_EQ((header >> 1) & 3, 0) << "block at " << at;
        final = header & 1;
        const unsigned len =
            static_cast<unsigned char>(z[at + 1]) | static_cast<unsigned char>(z[at + 2]) << 8;
        const unsigned nlen =
            static_cast<unsigned char>(z[at + 3]) | static_cast<unsigned char>(z[at + 4]) << 8;
        ASSERT_EQ(len ^ 0xFFFF, nlen);
        contents += z.substr(at + 5, len);
        at += 5 + len;
    }
    EXPECT_EQ(contents, plain);
    EXPECT_EQ(at + 4, z.size()); // the Adler-32 trailer follows
}

TEST(RecordingBody, ReadsWhatAnotherZlibWrote) {
    TTempDir dir;
    const std::string plain = SampleData(300000, 7);
    TBodyFile body(dir, std::string(30, 'h'), DeflateWithPython(plain));
    EXPECT_EQ(Inflated(*body.File), plain);
}

TEST(RecordingBody, LargerThanOneInputBufferIsRefilledWithinARead) {
    TTempDir dir;
    const std::string plain = NoiseData(300000, 3);
    const std::string z = Deflate(plain, 2);
    ASSERT_GT(z.size(), 4 * ZlibBufferSize);
    TBodyFile body(dir, "head", z);
    TT2DecompressionStream stream(*body.File);
    std::string out(plain.size() + 10, '\0');
    EXPECT_EQ(stream.Read(out.data(), out.size()), plain.size());
    out.resize(plain.size());
    EXPECT_EQ(out, plain);
}

TEST(RecordingBody, CutInsideADeflateBlockReadsToTheCutWithoutError) {
    TTempDir dir;
    const std::string plain = SampleData(400000, 5);
    const std::string z = Deflate(plain, 2);
    for (std::size_t cut : {std::size_t{1}, z.size() / 3, z.size() / 2, z.size() - 5}) {
        TBodyFile body(dir, std::string(30, 'h'), z.substr(0, cut));
        const TInflated reference = InflateWithPython(body.Path, 30);
        EXPECT_FALSE(reference.Complete);
        const std::string ours = Inflated(*body.File);
        EXPECT_EQ(ours, reference.Data) << "cut at " << cut;
        EXPECT_EQ(ours, plain.substr(0, ours.size()));
    }
}

TEST(RecordingBody, CorruptDataRaisesTheZlibCode) {
    TTempDir dir;
    std::string z = Deflate(SampleData(50000), 2);
    z[z.size() / 2] ^= 0x55;
    z[z.size() / 2 + 1] ^= 0x55;
    for (const std::string& bad : {z, std::string("\x12\x34\x56\x78", 4)}) {
        TBodyFile body(dir, "", bad);
        try {
            Inflated(*body.File);
            ADD_FAILURE() << "corrupt body inflated";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), "ZLIB ERROR: -3");
        }
    }
}

TEST(RecordingBody, SourceStandsRightAfterTheStreamOnceDone) {
    TTempDir dir;
    const std::string z = Deflate(SampleData(200000), 1);
    TBodyFile body(dir, "prefix", z + "TAIL");
    Inflated(*body.File);
    EXPECT_EQ(body.File->Position(), static_cast<std::int64_t>(6 + z.size()));
    char tail[4];
    body.File->ReadBuffer(tail, 4);
    EXPECT_EQ(std::string(tail, 4), "TAIL");
}

TEST(ZlibStreams, OneWayOperationsAndSeeking) {
    TTempDir dir;
    const std::string plain = SampleData(20000);
    TMemoryStream sink;
    TCompressionStream zip(1, sink);
    zip.WriteBuffer(plain.data(), 1234);
    EXPECT_EQ(zip.Position(), 1234);
    char byte;
    EXPECT_THROW(zip.Read(&byte, 1), ECompressionError);
    EXPECT_THROW(zip.Seek(1, TSeekOrigin::Current), ECompressionError);

    // The body starts after a head: seeking to 0 restarts at the body, not the file.
    TBodyFile body(dir, std::string(30, 'h'), Deflate(plain, 2));
    TT2DecompressionStream stream(*body.File);
    EXPECT_THROW(stream.Write("x", 1), EDecompressionError);
    EXPECT_EQ(stream.Seek(1000, TSeekOrigin::Current), 1000);
    EXPECT_EQ(stream.Seek(5000, TSeekOrigin::Beginning), 5000);
    char piece[10];
    stream.ReadBuffer(piece, 10);
    EXPECT_EQ(std::string(piece, 10), plain.substr(5000, 10));
    EXPECT_THROW(stream.Seek(-1, TSeekOrigin::Current), EDecompressionError);
    EXPECT_THROW(stream.Seek(100, TSeekOrigin::Beginning), EDecompressionError);
    EXPECT_EQ(stream.Seek(0, TSeekOrigin::Beginning), 0);
    stream.ReadBuffer(piece, 10);
    EXPECT_EQ(std::string(piece, 10), plain.substr(0, 10));
    try {
        stream.Seek(0, TSeekOrigin::End);
        ADD_FAILURE();
    } catch (const EDecompressionError& error) {
        EXPECT_EQ(std::string(error.what()), "Invalid stream operation");
    }
}

} // namespace
