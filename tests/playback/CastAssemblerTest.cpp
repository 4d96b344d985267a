#include "CastFixture.h"

#include "demo/UnitRecording.h"

#include <gtest/gtest.h>

namespace {

// The rebuilt recording must be the first section's head followed by one zlib
// stream of all its sections' packet streams; python3's zlib checks it.
void ExpectRebuilt(const TCastFixture& cast, std::int32_t first, const std::string& packets,
                   bool complete = true) {
    const std::string head = cast.RecordingHead(first);
    const std::string rebuilt = ReadBytes(cast.RebuiltPath(first));
    ASSERT_GE(rebuilt.size(), head.size());
    EXPECT_EQ(rebuilt.substr(0, head.size()), head);
    const TInflated body =
        InflateWithPython(cast.RebuiltPath(first), static_cast<std::int64_t>(head.size()));
    EXPECT_EQ(body.Complete, complete);
    EXPECT_EQ(body.Data.size(), packets.size());
    EXPECT_TRUE(body.Data == packets) << "packet streams differ";
}

std::int32_t DemoMs(const std::string& packets) {
    return static_cast<std::int32_t>(
        MeasureDemoTime(reinterpret_cast<const std::uint8_t*>(packets.data()), packets.size()));
}

} // namespace

TEST(CastAssembler, ThirdSectionFromTheStartPointStartsPlayback) {
    TCastFixture cast;
    const std::string p10 = cast.StoreSection(10, true, 3000, 3100);
    const std::string p11 = cast.StoreSection(11, false, 2000, 2050);
    const std::string p12 = cast.StoreSection(12, false, 4000, 3900);
    const std::string p13 = cast.StoreSection(13, false, 1000, 1000);
    TProbedAssembler probe;
    TCastAssembler& assembler = probe.Assembler;
    assembler.BeginRun(cast.Settings(10));

    assembler.SectionComplete(10, 1032);
    assembler.SectionComplete(11, 1032);
    EXPECT_TRUE(probe.PlaybackStarts.empty());
    assembler.SectionComplete(12, 1032);
    EXPECT_EQ(probe.PlaybackStarts, std::vector<std::int32_t>{10});
    assembler.SectionComplete(13, 1032);
    EXPECT_EQ(probe.PlaybackStarts, std::vector<std::int32_t>{10}) << "started only once";
    EXPECT_EQ(assembler.LastCompletedSection(), 13);

    // Both time lines start at 0 at the start point.
    EXPECT_EQ(assembler.AudioEndTime()[10], 3100);
    EXPECT_EQ(assembler.AudioEndTime()[11], 5150);
    EXPECT_EQ(assembler.AudioEndTime()[12], 9050);
    EXPECT_EQ(assembler.DemoEndTime()[10], DemoMs(p10));
    EXPECT_EQ(assembler.DemoEndTime()[12], DemoMs(p10) + DemoMs(p11) + DemoMs(p12));
    ASSERT_EQ(assembler.DemoStarts().Count(), 1);
    EXPECT_EQ(assembler.DemoStarts().Items(0).FirstSection, 10);
    EXPECT_EQ(assembler.DemoStarts().Items(0).StartTimeMs, 0);
    EXPECT_EQ(probe.BufferLabels, (std::vector<std::string>{"Waiting for next buffer section...",
                                                            "Waiting for next section...",
                                                            "Waiting for next section...",
                                                            "Waiting for next section..."}));

    // The game reads the recording while it grows: what is on disk already
    // inflates to a prefix of the packets, short of at most one 64 kB piece.
    const std::string all = p10 + p11 + p12 + p13;
    {
        const std::string head = cast.RecordingHead(10);
        const TInflated growing =
            InflateWithPython(cast.RebuiltPath(10), static_cast<std::int64_t>(head.size()));
        EXPECT_FALSE(growing.Complete);
        EXPECT_GE(growing.Data.size() + 65536, all.size());
        EXPECT_TRUE(all.compare(0, growing.Data.size(), growing.Data) == 0);
    }

    assembler.StreamsEndedHandler();
    EXPECT_TRUE(assembler.StreamsEnded());
    EXPECT_FALSE(assembler.RecordingOpen());
    EXPECT_EQ(probe.PlaybackStarts.size(), 1u);
    ExpectRebuilt(cast, 10, all);
}

TEST(CastAssembler, ShortCastStartsPlaybackWhenItEnds) {
    TCastFixture cast;
    const std::string p0 = cast.StoreSection(0, true);
    const std::string p1 = cast.StoreSection(1, false);
    TProbedAssembler online;
    online.Assembler.BeginRun(cast.Settings(0));
    online.Assembler.SectionComplete(0, 1040);
    online.Assembler.SectionComplete(1, 1032);
    EXPECT_TRUE(online.PlaybackStarts.empty());
    online.Assembler.StreamsEndedHandler();
    EXPECT_EQ(online.PlaybackStarts, std::vector<std::int32_t>{0});
    EXPECT_TRUE(online.Reports.empty());
    ExpectRebuilt(cast, 0, p0 + p1);

    // Offline viewing feeds the same cast without a viewer thread.
    TProbedAssembler offline;
    offline.Assembler.BeginRun(cast.Settings(0, false));
    offline.Assembler.SectionComplete(0, 1040);
    offline.Assembler.SectionComplete(1, 1032);
    offline.Assembler.StreamsEndedHandler();
    EXPECT_TRUE(offline.PlaybackStarts.empty());
    ExpectRebuilt(cast, 0, p0 + p1);
}

TEST(CastAssembler, CastEndingBeforeAnySectionReportsInsteadOfPlaying) {
    TCastFixture cast;
    TProbedAssembler probe;
    probe.Assembler.BeginRun(cast.Settings(10));
    probe.Assembler.StreamsEndedHandler();
    EXPECT_TRUE(probe.PlaybackStarts.empty());
    ASSERT_EQ(probe.Reports.size(), 1u);
    EXPECT_NE(probe.Reports[0].find("nothing to play"), std::string::npos);
    EXPECT_TRUE(probe.Assembler.StreamsEnded());
}

TEST(CastAssembler, EmptyDemoPartClosesTheRecordingAndTheNextStartPointOpensANewOne) {
    TCastFixture cast;
    const std::string p3 = cast.StoreSection(3, true, 3000, 3000);
    const std::string p4 = cast.StoreSection(4, false, 3000, 2500);
    cast.StoreFakeSection(5, 4000);
    const std::string p6 = cast.StoreSection(6, true, 2000, 2000);
    const std::string p7 = cast.StoreSection(7, false, 2000, 2000);
    TProbedAssembler probe;
    TCastAssembler& assembler = probe.Assembler;
    assembler.BeginRun(cast.Settings(3));

    assembler.SectionComplete(3, 1032);
    assembler.SectionComplete(4, 1032);
    assembler.SectionComplete(5, 0);
    EXPECT_FALSE(assembler.RecordingOpen());
    EXPECT_EQ(assembler.DemoStartSection(), -1);
    EXPECT_EQ(assembler.DemoEndTime()[5], 9500);
    EXPECT_EQ(probe.PlaybackStarts, std::vector<std::int32_t>{3});
    ExpectRebuilt(cast, 3, p3 + p4); // finished at once, while the cast goes on

    assembler.SectionComplete(6, 1032);
    assembler.SectionComplete(7, 1032);
    EXPECT_EQ(assembler.DemoStartSection(), 6);
    ASSERT_EQ(assembler.DemoStarts().Count(), 2);
    EXPECT_EQ(assembler.DemoStarts().Items(1).FirstSection, 6);
    EXPECT_EQ(assembler.DemoStarts().Items(1).StartTimeMs, 9500);
    EXPECT_EQ(assembler.DemoEndTime()[6], 9500 + DemoMs(p6));
    EXPECT_EQ(assembler.DemoEndTime()[7], 9500 + DemoMs(p6) + DemoMs(p7));

    assembler.Finish();
    EXPECT_FALSE(assembler.RecordingOpen());
    ExpectRebuilt(cast, 6, p6 + p7);
    EXPECT_FALSE(std::filesystem::exists(cast.RebuiltPath(5)));
}

TEST(CastAssembler, CompletedListRecordsEachSectionOnlineOnly) {
    TCastFixture cast;
    for (const std::int32_t section : {5, 6, 7})
        cast.StoreSection(section, section == 5);
    TProbedAssembler online;
    online.Assembler.BeginRun(cast.Settings(5));
    online.Assembler.SectionComplete(5, 1500);
    online.Assembler.SectionComplete(6, 1032);
    online.Assembler.SectionComplete(7, 1032);
    const std::string expected = "audio\r\n"
                                 "\"5\",\"1500\"\r\n"
                                 "\"6\",\"1032\"\r\n"
                                 "\"7\",\"1032\"\r\n";
    EXPECT_EQ(ReadBytes(cast.CastDirectory() + "completed.dat"), expected);

    TProbedAssembler offline;
    offline.Assembler.BeginRun(cast.Settings(5, false));
    offline.Assembler.SectionComplete(5, 1500);
    EXPECT_EQ(ReadBytes(cast.CastDirectory() + "completed.dat"), expected);
    EXPECT_FALSE(std::filesystem::exists(cast.CastDirectory() + "completed.dat.tmp"));
}

TEST(CastAssembler, AudioOnlyViewingNeverTouchesDemoParts) {
    TCastFixture cast;
    for (const std::int32_t section : {0, 1, 2})
        cast.StoreAudio(section, 1000);
    TProbedAssembler probe;
    TAssemblySettings settings = cast.Settings(0);
    settings.AudioOnly = true;
    settings.GameDirectory.clear();
    probe.Assembler.BeginRun(settings);
    for (const std::int32_t section : {0, 1, 2})
        probe.Assembler.SectionComplete(section, 0);
    EXPECT_EQ(probe.PlaybackStarts, std::vector<std::int32_t>{0});
    EXPECT_EQ(probe.Assembler.AudioEndTime()[2], 3000);
    EXPECT_EQ(probe.Assembler.DemoEndTime()[2], 0);
    EXPECT_EQ(probe.Assembler.DemoStarts().Count(), 0);
    EXPECT_FALSE(std::filesystem::exists(cast.GameDirectory() + "NELQ"));
}

TEST(CastAssembler, NewRunStartsCleanAndTearDownFinishesTheRecording) {
    TCastFixture cast;
    const std::string p0 = cast.StoreSection(0, true);
    cast.StoreSection(1, false);
    {
        TProbedAssembler probe;
        probe.Assembler.BeginRun(cast.Settings(0));
        probe.Assembler.SectionComplete(0, 1032);
        probe.Assembler.SectionComplete(1, 1032);

        // Picking another start point finishes the open recording first.
        probe.Assembler.BeginRun(cast.Settings(0));
        EXPECT_FALSE(probe.Assembler.RecordingOpen());
        EXPECT_EQ(probe.Assembler.LastCompletedSection(), -1);
        EXPECT_EQ(probe.Assembler.AudioClock(), 0);
        EXPECT_EQ(probe.Assembler.DemoStarts().Count(), 0);
        EXPECT_EQ(probe.Assembler.AudioEndTime()[1], 0);
        probe.Assembler.SectionComplete(0, 1032);
    }
    // A window torn down without Finish still leaves a complete recording.
    ExpectRebuilt(cast, 0, p0);
}
