#include "TestSupport.h"

#include "demo/UnitRecording.h"

#include <gtest/gtest.h>

namespace {

std::string Header(std::uint32_t durationMs, std::uint32_t initialBlockLength) {
    std::string header(22, 'o');
    for (std::uint32_t value : {durationMs, initialBlockLength})
        for (int i = 0; i < 4; ++i)
            header += static_cast<char>(value >> (8 * i));
    return header;
}

std::vector<std::uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(RecordingHead, HeadIsHeaderPlusInitialBlockAndTheFileStandsAtTheBody) {
    TTempDir dir;
    for (std::uint32_t initial : {0u, 77u}) {
        const std::string head = Header(61000, initial) + std::string(initial, 'i');
        WriteBytes(dir / "r.rec", head + "BODY");
        TFileStream file(dir / "r.rec", TFileStream::TMode::OpenRead);
        const TRecordingHead read = ReadRecordingHead(file);
        EXPECT_EQ(read.DurationMs, 61000u);
        EXPECT_EQ(read.InitialBlockLength, initial);
        EXPECT_EQ(AsText(read.Bytes), head);
        EXPECT_EQ(file.Position(), static_cast<std::int64_t>(30 + initial));
    }
}

TEST(RecordingHead, ShortFilesAndOversizedInitialBlocksRaiseClearErrors) {
    TTempDir dir;
    for (const std::string& bad : {std::string(), std::string(29, 'x'), Header(1, 10) + "123456789",
                                   Header(1, 0xFFFFFFFFu) + "body"}) {
        WriteBytes(dir / "r.rec", bad);
        TFileStream file(dir / "r.rec", TFileStream::TMode::OpenRead);
        EXPECT_THROW(ReadRecordingHead(file), ERecordingError) << bad.size() << " bytes";
    }
}

std::string Block(std::uint16_t header, std::size_t payload) {
    std::string block{static_cast<char>(header & 0xFF), static_cast<char>(header >> 8)};
    return block + std::string(payload, 'p');
}

std::int64_t Measure(const std::string& packets) {
    // An exact-size heap copy, so that a read past the end is caught.
    const std::vector<std::uint8_t> exact = Bytes(packets);
    return MeasureDemoTime(exact.data(), exact.size());
}

TEST(DemoTime, TicksAndBothLengthRules) {
    const std::string ticks = Block(0x2000, 0) + Block(0x2000, 0) + Block(0x2000, 0);
    EXPECT_EQ(Measure(ticks + Block(0x0105, 261)), 96);
    // Short rule: bits 8 to 11 clear, so 0x1005 and 0x2003 carry 5 and 3 bytes.
    EXPECT_EQ(Measure(Block(0x1005, 5) + Block(0x2003, 3) + Block(0x20FF, 255)), 64);
    // 0x2100 is not a tick and carries 0x2100 bytes.
    EXPECT_EQ(Measure(Block(0x2100, 0x2100) + Block(0x2000, 0)), 32);
    EXPECT_EQ(Measure(""), 0);
    EXPECT_EQ(Measure(std::string(1, '\0')), 0);
}

TEST(DemoTime, CutLastBlockIsNotReadPastTheEnd) {
    const std::string whole = Block(0x2000, 0) + Block(0x0105, 261);
    EXPECT_EQ(Measure(whole + Block(0x0F00, 0x0F00).substr(0, 100)), 32);
    EXPECT_EQ(Measure(whole + Block(0x2010, 16).substr(0, 5)), 64);
    EXPECT_EQ(Measure(whole + std::string(1, '\0')), 32);
}

TEST(RecordingWriter, HeadThenStoredBodyOfPacketStreamsEndToEnd) {
    TTempDir dir;
    const std::string head = Header(5000, 4) + "init";
    const std::string first = Block(0x2000, 0) + Block(0x0300, 0x0300);
    const std::string second = SampleData(100000);
    {
        TFileStream file(dir / "out.rec", TFileStream::TMode::Create);
        file.WriteBuffer(head.data(), head.size());
        TRecordingWriter writer(file);
        writer.AppendPacketStream(Bytes(first).data(), first.size());
        writer.AppendPacketStream(Bytes(second).data(), second.size());
        writer.Finish();
    }
    const TInflated check = InflateWithPython(dir / "out.rec", 34);
    EXPECT_TRUE(check.Complete);
    EXPECT_EQ(check.Data, first + second);

    TFileStream file(dir / "out.rec", TFileStream::TMode::OpenRead);
    EXPECT_EQ(AsText(ReadRecordingHead(file).Bytes), head);
    TMemoryStream body;
    InflateRecordingBody(file, body);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(body.Memory()), body.ByteSize()),
              first + second);
}

} // namespace
