#include "TestSupport.h"

#include "demo/UnitBZip2.h"

#include <gtest/gtest.h>

namespace {

// Remembers the size of every write, to see how a copy read its source.
class TWriteLog : public TMemoryStream {
public:
    std::size_t Write(const void* buffer, std::size_t count) override {
        Writes.push_back(count);
        return TMemoryStream::Write(buffer, count);
    }
    std::vector<std::size_t> Writes;
};

std::string Contents(const TMemoryStream& stream) {
    return {reinterpret_cast<const char*>(stream.Memory()), stream.ByteSize()};
}

std::string Bzip(const std::string& plain) {
    TMemoryStream source;
    source.WriteBuffer(plain.data(), plain.size());
    source.SetPosition(0);
    TMemoryStream packed;
    BzipFromStream(source, packed);
    return Contents(packed);
}

TEST(BZip2Streams, OurStreamsDecompressWithTheBzip2Tool) {
    TTempDir dir;
    // Empty input, and input spanning two 900 kB blocks.
    for (const std::string& plain : {std::string(), SampleData(1000000, 9)}) {
        WriteBytes(dir / "b.bz2", "lead" + Bzip(plain));
        EXPECT_EQ(BunzipWithTool(dir / "b.bz2", 4), plain);
    }
}

TEST(BZip2Streams, CompressionStartsAtTheSourcePositionAndTargetPosition) {
    TTempDir dir;
    const std::string plain = SampleData(10000);
    TMemoryStream source;
    source.WriteBuffer(plain.data(), plain.size());
    source.SetPosition(100);
    TMemoryStream packed;
    packed.WriteBuffer("0123456789", 10);
    packed.SetPosition(4);
    BzipFromStream(source, packed);
    WriteBytes(dir / "b", Contents(packed));
    EXPECT_EQ(Contents(packed).substr(0, 4), "0123");
    EXPECT_EQ(BunzipWithTool(dir / "b", 4), plain.substr(100));
}

TEST(BZip2Streams, BunzipReadsWhatTheBzip2ToolWrote) {
    TTempDir dir;
    for (std::size_t k : {0, 1, 3}) {
        const std::string plain = SampleData(4097 * k, static_cast<unsigned>(k));
        WriteBytes(dir / "plain", plain);
        ASSERT_EQ(
            RunCommand("bzip2 -9 -c '" + dir / "plain" + "' > '" + dir / "p.bz2" + "'").Status, 0);
        TFileStream source(dir / "p.bz2", TFileStream::TMode::OpenRead);
        TWriteLog target;
        BunzipToStream(source, target);
        EXPECT_EQ(Contents(target), plain);
        // k full reads, then the read that returns nothing ends the copy.
        EXPECT_EQ(target.Writes, std::vector<std::size_t>(k, 4097));
    }
}

TEST(BZip2Streams, ReadsAfterTheEndDeliverNothing) {
    const std::string plain = SampleData(5000);
    TMemoryStream source;
    const std::string packed = Bzip(plain) + "trailing bytes";
    source.WriteBuffer(packed.data(), packed.size());
    source.SetPosition(0);
    TBZDecompressionStream stream(source);
    std::string out(plain.size() + 100, '\0');
    EXPECT_EQ(stream.Read(out.data(), out.size()), plain.size());
    EXPECT_EQ(stream.Read(out.data(), out.size()), 0u);
    EXPECT_EQ(out.substr(0, plain.size()), plain);
}

TEST(BZip2Streams, TruncatedStreamDeliversLessAndCorruptOneRaises) {
    const std::string plain = SampleData(300000, 4);
    const std::string packed = Bzip(plain);

    TMemoryStream cut;
    cut.WriteBuffer(packed.data(), packed.size() - 10);
    cut.SetPosition(0);
    TMemoryStream out;
    BunzipToStream(cut, out);
    EXPECT_LE(out.ByteSize(), plain.size());
    EXPECT_EQ(Contents(out), plain.substr(0, out.ByteSize()));

    std::string flipped = Bzip(SampleData(5000));
    flipped[flipped.size() / 2] ^= 0x10;
    for (const std::string& bad : {flipped, std::string("BZx9....")}) {
        TMemoryStream source;
        source.WriteBuffer(bad.data(), bad.size());
        source.SetPosition(0);
        TMemoryStream sink;
        try {
            BunzipToStream(source, sink);
            ADD_FAILURE() << "corrupt stream decompressed";
        } catch (const EBZCompressionError& error) {
            EXPECT_EQ(std::string(error.what()).rfind("error -", 0), 0u) << error.what();
        }
    }
}

TEST(BZip2Streams, OneWayOperationsAndSeeking) {
    TMemoryStream sink;
    TBZCompressionStream packer(0, sink);
    char byte;
    EXPECT_THROW(packer.Read(&byte, 1), EBZCompressionError);
    EXPECT_THROW(packer.Seek(0, TSeekOrigin::Beginning), EBZCompressionError);
    EXPECT_THROW(TBZCompressionStream(9, sink), EBZCompressionError);

    const std::string plain = SampleData(30000);
    TMemoryStream source;
    source.WriteBuffer("xx", 2);
    const std::string packed = Bzip(plain);
    source.WriteBuffer(packed.data(), packed.size());
    source.SetPosition(2);
    TBZDecompressionStream stream(source);
    EXPECT_THROW(stream.Write("x", 1), EBZDecompressionError);
    EXPECT_EQ(stream.Seek(20000, TSeekOrigin::Beginning), 20000);
    char piece[8];
    stream.ReadBuffer(piece, 8);
    EXPECT_EQ(std::string(piece, 8), plain.substr(20000, 8));
    EXPECT_EQ(stream.Seek(0, TSeekOrigin::Beginning), 0);
    stream.ReadBuffer(piece, 8);
    EXPECT_EQ(std::string(piece, 8), plain.substr(0, 8));
    EXPECT_THROW(stream.Seek(-8, TSeekOrigin::Current), EBZDecompressionError);
}

} // namespace
