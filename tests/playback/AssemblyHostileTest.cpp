#include "CastFixture.h"

#include "demo/UnitBZip2.h"
#include "demo/UnitDemoPart.h"
#include "playback/AssemblyError.h"
#include "playback/StrictBunzip.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

namespace {

std::string AssemblyError(TCastAssembler& assembler, std::int32_t section) {
    try {
        assembler.SectionComplete(section, 1032);
    } catch (const EAssemblyError& error) {
        return error.what();
    }
    return "no error";
}

// The failure a section's assembly reported while it completed, or "none".
std::string ReportedFailure(TProbedAssembler& probe, std::int32_t section) {
    const std::size_t before = probe.SectionFailures.size();
    probe.Assembler.SectionComplete(section, 1032);
    return probe.SectionFailures.size() > before ? probe.SectionFailures.back() : "none";
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

TEST(AssemblyHostile, AnUnusableDemoPartIsReportedOnceAndTheCastGoesOnWithoutIt) {
    TCastFixture cast;
    const std::string p3 = cast.StoreSection(3, true);
    const std::string p4 = cast.StoreSection(4, false);
    cast.StoreSection(5, false);
    cast.StoreSection(6, false);
    cast.StoreFakeSection(7);
    const std::string p8 = cast.StoreSection(8, true);
    const std::string p9 = cast.StoreSection(9, false);
    std::string part = ReadBytes(cast.DemoPartPath(5));
    for (std::size_t i = part.size() / 2; i < part.size() / 2 + 16; ++i)
        part[i] = static_cast<char>(part[i] ^ 0x5A);
    WriteBytes(cast.DemoPartPath(5), part);

    TProbedAssembler probe;
    TCastAssembler& assembler = probe.Assembler;
    assembler.BeginRun(cast.Settings(3));
    for (std::int32_t section = 3; section <= 9; ++section)
        assembler.SectionComplete(section, 1032);

    // Section 6 belongs to the recording given up at section 5: skipped without a word.
    ASSERT_EQ(probe.SectionFailures.size(), 1u);
    EXPECT_TRUE(Contains(probe.SectionFailures[0], "Section 5 plays without its demo part"))
        << probe.SectionFailures[0];
    EXPECT_TRUE(Contains(probe.SectionFailures[0], "corrupt")) << probe.SectionFailures[0];
    EXPECT_EQ(assembler.LastCompletedSection(), 9);
    EXPECT_EQ(assembler.AudioEndTime()[9], 7 * 3000) << "every section's audio counts";
    for (const std::int32_t skipped : {5, 6, 7})
        EXPECT_EQ(assembler.DemoEndTime()[skipped], assembler.AudioEndTime()[skipped]) << skipped;
    std::string listed = "audio\r\n";
    for (std::int32_t section = 3; section <= 9; ++section)
        listed += "\"" + std::to_string(section) + "\",\"1032\"\r\n";
    EXPECT_EQ(ReadBytes(cast.CastDirectory() + "completed.dat"), listed);

    // The recording closed at the failure is complete up to the last good
    // section; the next one that begins a recording opens a new one.
    ASSERT_EQ(assembler.DemoStarts().Count(), 2);
    EXPECT_EQ(assembler.DemoStarts().Items(1).FirstSection, 8);
    EXPECT_EQ(assembler.DemoStarts().Items(1).StartTimeMs, assembler.AudioEndTime()[7]);
    assembler.StreamsEndedHandler();
    for (const auto& [first, packets] : {std::pair{3, p3 + p4}, std::pair{8, p8 + p9}}) {
        const std::string head = cast.RecordingHead(first);
        const TInflated body =
            InflateWithPython(cast.RebuiltPath(first), static_cast<std::int64_t>(head.size()));
        EXPECT_TRUE(body.Complete) << first;
        EXPECT_TRUE(body.Data == packets) << first;
    }
    EXPECT_FALSE(std::filesystem::exists(cast.RebuiltPath(5)));
    EXPECT_FALSE(std::filesystem::exists(cast.RebuiltPath(6)));
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
        const std::string message = ReportedFailure(probe, 0);
        EXPECT_TRUE(Contains(message, hostile.Expected)) << message;
        EXPECT_EQ(probe.Assembler.LastCompletedSection(), 0);
        EXPECT_FALSE(probe.Assembler.RecordingOpen());
        EXPECT_EQ(probe.Assembler.DemoStarts().Count(), 0);
        EXPECT_FALSE(std::filesystem::exists(cast.RebuiltPath(0))) << message;
    }
    ExpectOnlyOwnFiles(cast);
}

TEST(AssemblyHostile, AudioThatIsNotOggVorbisCountsNothingAndTheDemoPartStillPlays) {
    TCastFixture cast;
    const std::string p0 = cast.StoreSection(0, true);
    const std::string p1 = cast.StoreSection(1, false);
    WriteBytes(cast.AudioPath(1), "OggS but not really");

    TProbedAssembler probe;
    probe.Assembler.BeginRun(cast.Settings(0));
    probe.Assembler.SectionComplete(0, 1032);
    EXPECT_EQ(ReportedFailure(probe, 1), "none");
    EXPECT_EQ(probe.Assembler.LastCompletedSection(), 1);
    EXPECT_EQ(probe.Assembler.AudioEndTime()[1], 3000);
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
    EXPECT_TRUE(Contains(ReportedFailure(probe, 0), "demo_0.rec"));
    // Without its audio a section has no place on the time line: refused.
    EXPECT_TRUE(Contains(AssemblyError(probe.Assembler, 1), "audio_1.ogg"));
    EXPECT_EQ(probe.Assembler.LastCompletedSection(), 0);
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

    EXPECT_TRUE(Contains(AssemblyError(probe.Assembler, 4), "outside a viewing run"));
    EXPECT_FALSE(probe.Assembler.RecordingOpen());
    const std::string head = cast.RecordingHead(3);
    const TInflated body =
        InflateWithPython(cast.RebuiltPath(3), static_cast<std::int64_t>(head.size()));
    EXPECT_TRUE(body.Complete);
    EXPECT_TRUE(body.Data == p3);
}

TEST(AssemblyHostile, AFailedCommitChangesNothingAndTheSectionIsAppendedOnceWhenTriedAgain) {
    TCastFixture cast;
    const std::string p0 = cast.StoreSection(0, true);
    const std::string p1 = cast.StoreSection(1, false, 3000, 2000);
    TProbedAssembler probe;
    TCastAssembler& assembler = probe.Assembler;
    assembler.BeginRun(cast.Settings(0));
    assembler.SectionComplete(0, 1032);

    const auto snapshot = [&] {
        return std::tuple(
            assembler.AudioClock(), assembler.DemoClock(), assembler.LastCompletedSection(),
            assembler.DemoStartSection(), assembler.RecordingOpen(), assembler.DemoStarts().Count(),
            assembler.AudioEndTime()[1], assembler.DemoEndTime()[1],
            ReadBytes(cast.CastDirectory() + "completed.dat"), ReadBytes(cast.RebuiltPath(0)));
    };
    const auto before = snapshot();
    // The list is replaced through this name; a directory there fails the write.
    std::filesystem::create_directory(cast.CastDirectory() + "completed.dat.tmp");
    EXPECT_ANY_THROW(assembler.SectionComplete(1, 1032));
    EXPECT_TRUE(snapshot() == before);
    EXPECT_EQ(probe.BufferLabels.size(), 1u);

    std::filesystem::remove(cast.CastDirectory() + "completed.dat.tmp");
    assembler.SectionComplete(1, 1032);
    EXPECT_EQ(assembler.AudioEndTime()[1], 5000);
    EXPECT_EQ(ReadBytes(cast.CastDirectory() + "completed.dat"),
              "audio\r\n\"0\",\"1032\"\r\n\"1\",\"1032\"\r\n");
    assembler.StreamsEndedHandler();
    const std::string head = cast.RecordingHead(0);
    EXPECT_TRUE(
        InflateWithPython(cast.RebuiltPath(0), static_cast<std::int64_t>(head.size())).Data ==
        p0 + p1);
}

TEST(AssemblyHostile, ARecordingThatCannotBeWrittenSkipsOnlyTheDemoPart) {
    TCastFixture cast;
    cast.StoreSection(0, true);
    cast.StoreSection(1, false);
    // A file where the recordings folder belongs.
    std::filesystem::create_directories(cast.GameDirectory() + "NELQ");
    WriteBytes(cast.GameDirectory() + "NELQ/recordings", "");
    TProbedAssembler probe;
    probe.Assembler.BeginRun(cast.Settings(0));
    EXPECT_TRUE(Contains(ReportedFailure(probe, 0), "Section 0 plays without its demo part"));
    EXPECT_EQ(ReportedFailure(probe, 1), "none");
    EXPECT_EQ(probe.Assembler.LastCompletedSection(), 1);
    EXPECT_EQ(probe.Assembler.AudioEndTime()[1], 6000);
    EXPECT_EQ(probe.Assembler.DemoStarts().Count(), 0);
    EXPECT_FALSE(probe.Assembler.RecordingOpen());
}
