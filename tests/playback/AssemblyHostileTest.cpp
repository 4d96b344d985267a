#include "CastFixture.h"

#include "demo/UnitBZip2.h"
#include "demo/UnitDemoPart.h"
#include "playback/AssemblyError.h"
#include "playback/StrictBunzip.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

std::string AssemblyError(TCastAssembler& assembler, std::int32_t section) {
    try {
        assembler.SectionComplete(section, 1032);
    } catch (const EAssemblyError& error) {
        return error.what();
    }
    return "no error";
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string Bzipped(const std::string& plain) {
    TMemoryStream source, packed;
    source.WriteBuffer(plain.data(), plain.size());
    source.SetPosition(0);
    BzipFromStream(source, packed);
    return {reinterpret_cast<const char*>(packed.Memory()), packed.ByteSize()};
}

std::string LittleEndian32(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

// Only the store and the game's NELQ folder are ever written (besides the
// fixture's own source files).
void ExpectOnlyOwnFiles(const TCastFixture& cast) {
    for (const std::string& file : cast.AllFiles()) {
        const bool allowed = file.rfind("streams/GAME/", 0) == 0 ||
                             file.rfind("game/NELQ/recordings/", 0) == 0 ||
                             file.rfind("source_", 0) == 0 || file.rfind("built_", 0) == 0;
        EXPECT_TRUE(allowed) << file;
    }
}

} // namespace

TEST(AssemblyHostile, SectionNumbersOutsideTheTablesAreRefusedBeforeAnythingChanges) {
    TCastFixture cast;
    cast.StoreSection(1024, true);
    TProbedAssembler probe;
    probe.Assembler.BeginRun(cast.Settings(1024));
    for (const std::int32_t section : {1025, -1, INT_MAX, INT_MIN}) {
        const std::string message = AssemblyError(probe.Assembler, section);
        EXPECT_TRUE(Contains(message, "outside the sections 0 to 1024")) << message;
        EXPECT_THROW(probe.Assembler.AudioEndTime()[section], EAssemblyError);
    }
    EXPECT_EQ(probe.Assembler.LastCompletedSection(), -1);
    EXPECT_FALSE(std::filesystem::exists(cast.CastDirectory() + "completed.dat"));

    probe.Assembler.SectionComplete(1024, 1032); // the last section the tables hold
    probe.Assembler.StreamsEndedHandler();
    EXPECT_EQ(probe.PlaybackStarts, std::vector<std::int32_t>{1024});
    EXPECT_EQ(probe.Assembler.AudioEndTime()[1024], 3000);
    ExpectOnlyOwnFiles(cast);
}

TEST(AssemblyHostile, CorruptPacketStreamClosesTheRecordingCompleteUpToTheLastGoodSection) {
    TCastFixture cast;
    const std::string p3 = cast.StoreSection(3, true);
    const std::string p4 = cast.StoreSection(4, false);
    cast.StoreSection(5, false);
    std::string part = ReadBytes(cast.DemoPartPath(5));
    for (std::size_t i = part.size() / 2; i < part.size() / 2 + 16; ++i)
        part[i] = static_cast<char>(part[i] ^ 0x5A);
    WriteBytes(cast.DemoPartPath(5), part);

    TProbedAssembler probe;
    probe.Assembler.BeginRun(cast.Settings(3));
    probe.Assembler.SectionComplete(3, 1032);
    probe.Assembler.SectionComplete(4, 1032);
    const std::string message = AssemblyError(probe.Assembler, 5);
    EXPECT_TRUE(Contains(message, "section 5")) << message;
    EXPECT_TRUE(Contains(message, "corrupt")) << message;

    EXPECT_FALSE(probe.Assembler.RecordingOpen());
    EXPECT_EQ(probe.Assembler.LastCompletedSection(), 4);
    EXPECT_EQ(ReadBytes(cast.CastDirectory() + "completed.dat"),
              "audio\r\n\"3\",\"1032\"\r\n\"4\",\"1032\"\r\n");
    const std::string head = cast.RecordingHead(3);
    const TInflated body =
        InflateWithPython(cast.RebuiltPath(3), static_cast<std::int64_t>(head.size()));
    EXPECT_TRUE(body.Complete);
    EXPECT_TRUE(body.Data == p3 + p4);
    ExpectOnlyOwnFiles(cast);
}

TEST(AssemblyHostile, TruncatedOrMislabelledDemoPartsWriteNoRecording) {
    TCastFixture cast;
    cast.StoreSection(0, true);
    const std::string whole = ReadBytes(cast.DemoPartPath(0));
    const std::int64_t bodyOffset = ReadDemoPartHeader(cast.DemoPartPath(0)).BodyOffset;
    const std::string recordingHead = cast.RecordingHead(0);
    std::string lyingHead = recordingHead;
    lyingHead[26] = static_cast<char>(lyingHead[26] + 1); // InitialBlockLength one too many

    const std::string body = whole.substr(static_cast<std::size_t>(bodyOffset));
    const std::string fields = whole.substr(0, 1028);
    const auto withHead = [&](const std::string& packedHead) {
        return fields + LittleEndian32(static_cast<std::uint32_t>(packedHead.size())) + packedHead +
               body;
    };
    const struct {
        std::string Part;
        std::string Expected;
    } cases[] = {
        {whole.substr(0, whole.size() - 100), "cut short"},
        {withHead(Bzipped(recordingHead).substr(0, 100)), "cut short"},
        {whole.substr(0, 1040), "runs past the end"},
        {whole.substr(0, 900), "is not a whole demo part"},
        {body, "is not a whole demo part"}, // the body alone where a head belongs
        {fields + LittleEndian32(0) + body, "carries no recording head"},
        {fields + LittleEndian32(0x7FFFFFF0) + body, "runs past the end"},
        {withHead(Bzipped(lyingHead)), "length fields do not match"},
        {withHead("BZh9 certainly not bzip2 data"), "cannot be decoded"},
        {withHead("plain text"), "does not start like bzip2 data"},
    };
    for (const auto& hostile : cases) {
        WriteBytes(cast.DemoPartPath(0), hostile.Part);
        TProbedAssembler probe;
        probe.Assembler.BeginRun(cast.Settings(0));
        const std::string message = AssemblyError(probe.Assembler, 0);
        EXPECT_TRUE(Contains(message, hostile.Expected)) << message;
        EXPECT_FALSE(probe.Assembler.RecordingOpen());
        EXPECT_EQ(probe.Assembler.DemoStarts().Count(), 0);
        EXPECT_FALSE(std::filesystem::exists(cast.RebuiltPath(0))) << message;
    }
    ExpectOnlyOwnFiles(cast);
}

TEST(AssemblyHostile, AudioThatIsNotOggVorbisIsRefusedAndTheSectionCanBeRetried) {
    TCastFixture cast;
    const std::string p0 = cast.StoreSection(0, true);
    const std::string p1 = cast.StoreSection(1, false);
    WriteBytes(cast.AudioPath(1), "OggS but not really");

    TProbedAssembler probe;
    probe.Assembler.BeginRun(cast.Settings(0));
    probe.Assembler.SectionComplete(0, 1032);
    const std::string message = AssemblyError(probe.Assembler, 1);
    EXPECT_TRUE(Contains(message, "audio_1.ogg\" is not an Ogg Vorbis file")) << message;
    EXPECT_EQ(probe.Assembler.LastCompletedSection(), 0);
    EXPECT_EQ(probe.Assembler.AudioClock(), 3000);
    EXPECT_TRUE(probe.Assembler.RecordingOpen()) << "nothing of section 1 was touched";

    // The viewer thread resumes and completes the section again.
    cast.StoreAudio(1, 1500);
    probe.Assembler.SectionComplete(1, 1032);
    EXPECT_EQ(probe.Assembler.AudioEndTime()[1], 4500);
    probe.Assembler.StreamsEndedHandler();
    const std::string head = cast.RecordingHead(0);
    const TInflated body =
        InflateWithPython(cast.RebuiltPath(0), static_cast<std::int64_t>(head.size()));
    EXPECT_TRUE(body.Complete);
    EXPECT_TRUE(body.Data == p0 + p1);
}

TEST(AssemblyHostile, SectionsCompletingTwiceOrOutOfOrderAreRefused) {
    TCastFixture cast;
    const std::string p3 = cast.StoreSection(3, true);
    cast.StoreSection(2, false);
    TProbedAssembler probe;
    probe.Assembler.BeginRun(cast.Settings(3));
    probe.Assembler.SectionComplete(3, 1032);
    EXPECT_TRUE(Contains(AssemblyError(probe.Assembler, 3), "rising order"));
    EXPECT_TRUE(Contains(AssemblyError(probe.Assembler, 2), "rising order"));
    probe.Assembler.Finish();
    const std::string head = cast.RecordingHead(3);
    EXPECT_TRUE(
        InflateWithPython(cast.RebuiltPath(3), static_cast<std::int64_t>(head.size())).Data == p3);
}

TEST(AssemblyHostile, MissingSectionFilesAreReportedWithTheirPath) {
    TCastFixture cast;
    cast.StoreAudio(0, 1000);
    TProbedAssembler probe;
    probe.Assembler.BeginRun(cast.Settings(0));
    try {
        probe.Assembler.SectionComplete(0, 1032);
        FAIL() << "a missing demo part was accepted";
    } catch (const std::exception& error) {
        EXPECT_TRUE(Contains(error.what(), "demo_0.rec")) << error.what();
    }
    EXPECT_TRUE(Contains(AssemblyError(probe.Assembler, 1), "audio_1.ogg"));
}

TEST(AssemblyHostile, PackedDataThatExpandsBeyondItsCapIsRefused) {
    const std::string packed = Bzipped(std::string(4 << 20, '\0')); // a few dozen bytes
    TMemoryStream source, plain;
    source.WriteBuffer(packed.data(), packed.size());
    source.SetPosition(0);
    try {
        BunzipStrict(source, source.Size(), 1 << 20, plain, "The bomb");
        FAIL() << "expanded past its cap";
    } catch (const EAssemblyError& error) {
        EXPECT_STREQ(error.what(), "The bomb expands beyond 1048576 bytes");
    }
    EXPECT_LE(plain.ByteSize(), std::size_t{1} << 20);
}

TEST(AssemblyHostile, ASectionAfterTheTearDownNeverReachesTheFinishedRecording) {
    TCastFixture cast;
    const std::string p3 = cast.StoreSection(3, true);
    cast.StoreSection(4, false);
    TProbedAssembler probe;
    probe.Assembler.BeginRun(cast.Settings(3));
    probe.Assembler.SectionComplete(3, 1032);
    probe.Assembler.Finish();
    EXPECT_EQ(probe.Assembler.LastCompletedSection(), -1);
    EXPECT_EQ(probe.Assembler.DemoStartSection(), -1);

    // A body without a head cannot begin a recording, and the closed one stays as it was.
    EXPECT_ANY_THROW(probe.Assembler.SectionComplete(4, 1032));
    EXPECT_FALSE(probe.Assembler.RecordingOpen());
    const std::string head = cast.RecordingHead(3);
    const TInflated body =
        InflateWithPython(cast.RebuiltPath(3), static_cast<std::int64_t>(head.size()));
    EXPECT_TRUE(body.Complete);
    EXPECT_TRUE(body.Data == p3);
}
