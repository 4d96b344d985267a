#include "RecordingGenerator.h"
#include "TestSupport.h"

#include "demo/UnitDemoPart.h"

#include <gtest/gtest.h>

namespace {

std::uint32_t LittleEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

TEST(BuildSection, StartPointCarriesTheHeadAndTheInflatedBody) {
    TTempDir dir;
    TGeneratorOptions options;
    options.DurationMs = 3000;
    options.InitialBlockLength = 300;
    options.InfoText = "Time Remaining,Map\n,Katabatic";
    GenerateRecording(dir / "g.rec", options);

    std::int64_t runningTotal = 65000;
    const std::int64_t bodyOffset = BuildSection(dir / "g.rec", dir / "s.rec", true, runningTotal);
    EXPECT_EQ(runningTotal, 68000);

    const std::string part = ReadBytes(dir / "s.rec");
    const std::string recording = ReadBytes(dir / "g.rec");
    EXPECT_EQ(LittleEndian32(part, 0), 3000u);
    // The time value was empty: the running total before this recording stands in.
    const std::string info = "\"Time Remaining\",Map,01:05,Katabatic";
    EXPECT_EQ(part.substr(4, info.size() + 1), info + '\0');
    EXPECT_EQ(part.find_first_not_of(' ', 4 + info.size() + 1), 1028u);
    const std::uint32_t headLength = LittleEndian32(part, 1028);
    EXPECT_EQ(bodyOffset, 1032 + static_cast<std::int64_t>(headLength));

    WriteBytes(dir / "head.bz2", part.substr(1032, headLength));
    EXPECT_EQ(BunzipWithTool(dir / "head.bz2"), recording.substr(0, 330));
    const TInflated body = InflateWithPython(dir / "g.rec", 330);
    EXPECT_TRUE(body.Complete);
    EXPECT_EQ(BunzipWithTool(dir / "s.rec", bodyOffset), body.Data);

    const TDemoPartHeader header = ReadDemoPartHeader(dir / "s.rec");
    EXPECT_EQ(header.DurationMs, 3000u);
    EXPECT_EQ(header.InfoText, info);
    EXPECT_EQ(header.HeadLength, headLength);
    EXPECT_EQ(header.BodyOffset, bodyOffset);
}

TEST(BuildSection, OtherSectionsHaveNoHeadAndACutBodyEndsAtTheCut) {
    TTempDir dir;
    TGeneratorOptions options;
    options.DurationMs = 5000;
    options.Cut = true;
    GenerateRecording(dir / "g.rec", options);
    std::int64_t runningTotal = 0;
    EXPECT_EQ(BuildSection(dir / "g.rec", dir / "s.rec", false, runningTotal), 1032);
    EXPECT_EQ(LittleEndian32(ReadBytes(dir / "s.rec"), 1028), 0u);
    const TInflated body = InflateWithPython(dir / "g.rec", 1054);
    EXPECT_FALSE(body.Complete);
    EXPECT_FALSE(body.Data.empty());
    EXPECT_EQ(BunzipWithTool(dir / "s.rec", 1032), body.Data);
}

TEST(BuildSection, BadRecordingsRaiseAndMissingOnesDoNotCreateTheirPart) {
    TTempDir dir;
    std::int64_t runningTotal = 0;
    EXPECT_THROW(BuildSection(dir / "none.rec", dir / "s.rec", true, runningTotal), EFOpenError);
    EXPECT_FALSE(std::filesystem::exists(dir / "s.rec"));

    TGeneratorOptions options;
    options.DurationMs = 2000;
    GenerateRecording(dir / "g.rec", options);
    std::string bytes = ReadBytes(dir / "g.rec");
    bytes[bytes.size() - 100] ^= 0x5A;
    bytes[bytes.size() - 99] ^= 0x5A;
    WriteBytes(dir / "g.rec", bytes);
    try {
        BuildSection(dir / "g.rec", dir / "s.rec", true, runningTotal);
        ADD_FAILURE() << "corrupt recording built";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "ZLIB ERROR: -3");
    }
}

TEST(DemoPartHeader, EmptyShortAndOverlongParts) {
    TTempDir dir;
    WriteBytes(dir / "fake.rec", "");
    EXPECT_EQ(DemoPartBodyOffset(dir / "fake.rec"), 0);
    WriteBytes(dir / "short.rec", std::string(1031, ' '));
    EXPECT_THROW(ReadDemoPartHeader(dir / "short.rec"), EDemoPartError);
    std::string overlong(1032, ' ');
    overlong[1029] = 1; // HeadLength 256, but nothing follows
    WriteBytes(dir / "overlong.rec", overlong);
    EXPECT_THROW(ReadDemoPartHeader(dir / "overlong.rec"), EDemoPartError);
}

TEST(DemoPartHeader, DummyPartIsCreatedEmptyEachTime) {
    TTempDir dir;
    WriteBytes(dir / "dummydemo.dat", "left over");
    const std::string path = DummyDemoPart(dir.WithSeparator());
    EXPECT_EQ(path, dir / "dummydemo.dat");
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

} // namespace
