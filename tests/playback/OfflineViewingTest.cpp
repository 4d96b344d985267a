#include "playback/OfflineViewing.h"
#include "OfflineCastFiles.h"
#include "playback/CompletedSections.h"
#include "playback/OfflineCastList.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The rebuilt recording is the first section's head and one complete zlib
// stream of the packets; python3's zlib checks it.
void ExpectRebuiltRecording(const TCastFixture& cast, std::int32_t first,
                            const std::string& packets) {
    const std::string head = cast.RecordingHead(first);
    const std::string rebuilt = ReadBytes(cast.RebuiltPath(first));
    ASSERT_GE(rebuilt.size(), head.size());
    EXPECT_EQ(rebuilt.substr(0, head.size()), head);
    const TInflated body =
        InflateWithPython(cast.RebuiltPath(first), static_cast<std::int64_t>(head.size()));
    EXPECT_TRUE(body.Complete);
    EXPECT_TRUE(body.Data == packets) << "packet streams differ";
}

std::string ErrorOf(const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no error)";
}

} // namespace

TEST(OfflineViewing, StoredCastStartsAtItsFirstSectionOnceTheThirdIsAssembled) {
    TCastFixture cast;
    const std::string packets = StoreRecordingSections(cast, 3, 9);
    WriteCompletedList(cast.CastDirectory(), {3, 4, 5, 6, 7, 8, 9});
    const std::string listBefore = ReadBytes(cast.CastDirectory() + "completed.dat");
    const std::vector<std::string> filesBefore = cast.AllFiles();

    TProbedAssembler probe;
    const std::vector<TCompletedSection> sections = LoadPlayableCast(cast.CastDirectory(), false);
    std::vector<std::size_t> startsAfter; // playback starts seen after each section
    ReplayCast(probe.Assembler, cast.Settings(0), sections, [&](std::size_t replayed) {
        EXPECT_EQ(probe.Assembler.LastCompletedSection(), sections[replayed - 1].Section);
        startsAfter.push_back(probe.PlaybackStarts.size());
    });

    EXPECT_EQ(startsAfter, (std::vector<std::size_t>{0, 0, 1, 1, 1, 1, 1}));
    EXPECT_EQ(probe.PlaybackStarts, std::vector<std::int32_t>{3});
    EXPECT_EQ(probe.Assembler.StartSection(), 3);
    EXPECT_FALSE(probe.Assembler.Settings().Online);
    EXPECT_TRUE(probe.Assembler.StreamsEnded());
    EXPECT_FALSE(probe.Assembler.RecordingOpen());
    EXPECT_EQ(probe.Assembler.AudioEndTime()[9], 7 * 1500);

    // Offline viewing only reads the store: the one new file is the recording.
    EXPECT_EQ(ReadBytes(cast.CastDirectory() + "completed.dat"), listBefore);
    std::vector<std::string> expected = filesBefore;
    expected.push_back("game/NELQ/recordings/nelqdemo3.rec");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(cast.AllFiles(), expected);
    ExpectRebuiltRecording(cast, 3, packets);
}

TEST(OfflineViewing, CastOfTwoSectionsPlaysOnceBothAreAssembled) {
    TCastFixture cast;
    const std::string packets = StoreRecordingSections(cast, 0, 1);
    WriteCompletedList(cast.CastDirectory(), {0, 1});
    TProbedAssembler probe;
    std::size_t startsDuringWalk = 0;
    ReplayCast(probe.Assembler, cast.Settings(0), LoadPlayableCast(cast.CastDirectory(), false),
               [&](std::size_t) { startsDuringWalk += probe.PlaybackStarts.size(); });
    EXPECT_EQ(startsDuringWalk, 0u);
    EXPECT_EQ(probe.PlaybackStarts, std::vector<std::int32_t>{0});
    EXPECT_TRUE(probe.Assembler.StreamsEnded());
    ExpectRebuiltRecording(cast, 0, packets);
}

TEST(OfflineViewing, CastsTooShortOrWithoutAListAreRefusedBeforeAnythingIsAssembled) {
    TCastFixture cast;
    StoreRecordingSections(cast, 0, 2);
    const std::string dir = cast.CastDirectory();
    EXPECT_EQ(ErrorOf([&] { LoadPlayableCast(dir, false); }),
              "Unable to locate any completed stream sections");
    WriteBytes(dir + "completed.dat", "audio\r\n");
    EXPECT_EQ(ErrorOf([&] { LoadPlayableCast(dir, false); }),
              "Insufficient sections to begin viewing");
    WriteCompletedList(dir, {0});
    EXPECT_EQ(ErrorOf([&] { LoadPlayableCast(dir, false); }),
              "Insufficient sections to begin viewing");
    EXPECT_FALSE(fs::exists(cast.GameDirectory() + "NELQ"));
}

TEST(OfflineViewing, BrokenListsAndMissingPartsGiveAClearErrorAndChangeNothing) {
    TCastFixture cast;
    StoreRecordingSections(cast, 0, 2);
    const std::string dir = cast.CastDirectory();
    const struct {
        const char* Lines;
        const char* Says;
    } broken[] = {
        {"\"0\",\"1032\"\r\n\"one\",\"1032\"\r\n", "Line 3 of"},
        {"\"0\",\"1032\"\r\n\"1\",\"x\"\r\n", "Line 3 of"},
        {"\"0\"\r\n\"1\",\"1032\"\r\n", "Line 2 of"},
        {"\"0\",\"1032\"\r\n\"1025\",\"1032\"\r\n", "outside 0 to 1024"},
        {"\"-1\",\"1032\"\r\n\"0\",\"1032\"\r\n", "outside 0 to 1024"},
        {"\"1\",\"1032\"\r\n\"0\",\"1032\"\r\n", "rising order"},
        {"\"1\",\"1032\"\r\n\"1\",\"1032\"\r\n", "rising order"},
        {"\"0\",\"1032\"\r\n\"1\",\"1032\"\r\n\"7\",\"1032\"\r\n", "audio_7.ogg\" is missing"},
    };
    for (const auto& list : broken) {
        WriteBytes(dir + "completed.dat", std::string("audio\r\n") + list.Lines);
        const std::string error = ErrorOf([&] { LoadPlayableCast(dir, false); });
        EXPECT_NE(error.find(list.Says), std::string::npos) << list.Lines << " gave: " << error;
    }

    // A demo part is needed unless the cast is played as audio only.
    fs::remove(cast.DemoPartPath(1));
    WriteCompletedList(dir, {0, 1, 2});
    EXPECT_NE(ErrorOf([&] { LoadPlayableCast(dir, false); }).find("demo_1.rec\" is missing"),
              std::string::npos);
    EXPECT_EQ(LoadPlayableCast(dir, true).size(), 3u);
    EXPECT_FALSE(fs::exists(cast.GameDirectory() + "NELQ"));
}

TEST(OfflineViewing, ListOverItsSizeCapIsRefusedOfflineAndOnlineAndLeftAsItWas) {
    TCastFixture cast;
    StoreRecordingSections(cast, 0, 2);
    const std::string dir = cast.CastDirectory();
    std::string list = "audio\r\n\"0\",\"1032\"\r\n\"1\",\"1032\"\r\n\"2\",\"1032\"\r\n";
    list.resize(MaxCompletedFileBytes, '\n');
    WriteBytes(dir + "completed.dat", list);
    EXPECT_EQ(LoadPlayableCast(dir, false).size(), 3u) << "a list just at the cap is read";

    list += '\n';
    WriteBytes(dir + "completed.dat", list);
    const std::string says = "\"" + dir + "completed.dat\" holds 65537 bytes, more than the 65536";
    EXPECT_NE(ErrorOf([&] { LoadPlayableCast(dir, false); }).find(says), std::string::npos);
    EXPECT_NE(ErrorOf([&] { AppendCompletedSection(dir, 3, 1032); }).find(says), std::string::npos);
    EXPECT_TRUE(ReadBytes(dir + "completed.dat") == list);

    WriteBytes(dir + "completed.dat", "audio\r\n" + std::string(60000, 'x'));
    const std::string junk = ErrorOf([&] { LoadPlayableCast(dir, false); });
    EXPECT_NE(junk.find("Line 2 of"), std::string::npos);
    EXPECT_LT(junk.size(), 300u) << "the error shows the start of the line only";
}

TEST(OfflineViewing, DamagedSectionIsReportedAndTheReplayGoesOnWithoutItsRecording) {
    TCastFixture cast;
    const std::string packets = StoreRecordingSections(cast, 3, 5);
    StoreRecordingSections(cast, 6, 7);
    WriteBytes(cast.DemoPartPath(6), "BZh91AY&SY not really bzip2");
    WriteCompletedList(cast.CastDirectory(), {3, 4, 5, 6, 7});
    TProbedAssembler probe;
    EXPECT_EQ(ErrorOf([&] {
                  ReplayCast(probe.Assembler, cast.Settings(0),
                             LoadPlayableCast(cast.CastDirectory(), false), {});
              }),
              "(no error)");
    ASSERT_EQ(probe.SectionFailures.size(), 1u);
    EXPECT_NE(probe.SectionFailures[0].find("section 6"), std::string::npos)
        << probe.SectionFailures[0];
    EXPECT_EQ(probe.PlaybackStarts, std::vector<std::int32_t>{3});
    EXPECT_TRUE(probe.Assembler.StreamsEnded());
    EXPECT_FALSE(probe.Assembler.RecordingOpen());
    EXPECT_EQ(probe.Assembler.LastCompletedSection(), 7);
    ExpectRebuiltRecording(cast, 3, packets);
}

TEST(OfflineViewing, AudioOnlyAssemblesNoDemoPartsAndAbandonedReplayStopsAtOnce) {
    TCastFixture cast;
    for (std::int32_t section = 0; section < 4; ++section)
        cast.StoreAudio(section, 1000);
    WriteCompletedList(cast.CastDirectory(), {0, 1, 2, 3});
    TAssemblySettings settings = cast.Settings(0);
    settings.AudioOnly = true;

    TProbedAssembler probe;
    ReplayCast(probe.Assembler, settings, LoadPlayableCast(cast.CastDirectory(), true), {});
    EXPECT_EQ(probe.PlaybackStarts, std::vector<std::int32_t>{0});
    EXPECT_EQ(probe.Assembler.DemoStarts().Count(), 0);
    EXPECT_EQ(probe.Assembler.AudioEndTime()[3], 4000);
    EXPECT_FALSE(fs::exists(cast.GameDirectory() + "NELQ"));

    // A run started anew while the window ran its events ends the replay.
    TProbedAssembler abandoned;
    ReplayCast(abandoned.Assembler, settings, LoadPlayableCast(cast.CastDirectory(), true),
               [&](std::size_t replayed) {
                   if (replayed == 2)
                       abandoned.Assembler.BeginRun(settings);
               });
    EXPECT_EQ(abandoned.Assembler.LastCompletedSection(), -1);
    EXPECT_FALSE(abandoned.Assembler.StreamsEnded());
    EXPECT_TRUE(abandoned.PlaybackStarts.empty());
}

TEST(OfflineCastList, DirectoriesThenZipThenQmxOddNamesIncludedActiveLeftOut) {
    TCastFixture cast;
    const std::string streams = StreamsDirectoryOf(cast);
    for (const char* name : {"ACTIVE", " spaced cast", ".dotted", "Ünïcode cäst", "e.qmx"})
        fs::create_directories(streams + name);
    for (const char* name : {"b.qmx", "A.QMX", "z.zip", "notes.txt", "c.qmx.partial"})
        WriteBytes(streams + name, "x");
    fs::create_symlink(streams + "GAME", streams + "linked");

    EXPECT_EQ(ListOfflineCasts(streams),
              (std::vector<std::string>{" spaced cast", ".dotted", "GAME", "e.qmx", "Ünïcode cäst",
                                        "z.zip", "A.QMX", "b.qmx"}));
    EXPECT_TRUE(IsCastArchive(streams, "A.QMX"));
    EXPECT_TRUE(IsCastArchive(streams, "z.zip"));
    EXPECT_FALSE(IsCastArchive(streams, "e.qmx")) << "a directory is played, not extracted";
    EXPECT_FALSE(IsCastArchive(streams, "GAME"));
    EXPECT_TRUE(ListOfflineCasts(streams + "missing/").empty());

    // An oddly named cast plays like any other.
    const std::string packets = StoreRecordingSections(cast, 0, 2);
    WriteCompletedList(cast.CastDirectory(), {0, 1, 2});
    const std::string odd = streams + ".dotted Ünï cast/";
    fs::rename(cast.CastDirectory(), odd);
    TAssemblySettings settings = cast.Settings(0);
    settings.CastDirectory = odd;
    TProbedAssembler probe;
    ReplayCast(probe.Assembler, settings, LoadPlayableCast(odd, false), {});
    EXPECT_EQ(probe.PlaybackStarts, std::vector<std::int32_t>{0});
    ExpectRebuiltRecording(cast, 0, packets);
}
