#include "../demo/TestSupport.h"
#include "RebuiltRecordingWriter.h"

#include "DemoClock.h"
#include "GameFiles.h"
#include "GrowingRecording.h"
#include "PlaybackScript.h"

#include <gtest/gtest.h>

namespace {

TEST(StandinFiles, StartScriptNamesTheDemoOnLineEight) {
    // Lines 0 to 7; line 8 (counted from 0) is the one the client generates.
    const std::string lines = "// 0\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n";
    EXPECT_EQ(DemoFileOfStartScript(lines + "%file = \"recordings/nelqdemo3.rec\";\r\nquit();\r\n"),
              "recordings/nelqdemo3.rec");
    EXPECT_EQ(DemoFileOfStartScript("0\n1\n2\n3\n4\n5\n6\n7\n   %file = \"r/a b.rec\";"),
              "r/a b.rec");
    // Line 7 or 9 is not where the client writes it.
    EXPECT_THROW(DemoFileOfStartScript("0\n1\n2\n3\n4\n5\n6\n%file = \"a.rec\";\n8\n"),
                 std::runtime_error);
    EXPECT_THROW(DemoFileOfStartScript(lines + "8\r\n%file = \"a.rec\";\r\n"), std::runtime_error);
    EXPECT_THROW(DemoFileOfStartScript(lines + "%file = \"\";\r\n"), std::runtime_error);
    EXPECT_THROW(DemoFileOfStartScript(""), std::runtime_error);
}

TEST(StandinFiles, AudioSyncAndProgressFormats) {
    const TSyncInstruction pause = ParseAudioSync("3\r\n0.150\tBUFFERING\r\n");
    EXPECT_EQ(pause.Number, 3);
    ASSERT_TRUE(pause.Speed);
    EXPECT_DOUBLE_EQ(*pause.Speed, 0.15);
    EXPECT_EQ(pause.Status, "BUFFERING");
    const TSyncInstruction start = ParseAudioSync("0\r\n");
    EXPECT_EQ(start.Number, 0);
    EXPECT_FALSE(start.Speed);
    EXPECT_EQ(ParseAudioSync("").Number, 0);
    EXPECT_EQ(ParseAudioSync("garbage\r\n1.0\tX").Number, 0);
    EXPECT_EQ(ParseAudioSync("4\n1.200\t1.200").Status, "1.200");
    EXPECT_FALSE(ParseAudioSync("5\r\n\r\n").Speed);

    EXPECT_EQ(DemoProgressText(std::nullopt), "\r\n");
    EXPECT_EQ(DemoProgressText(1568), "1568\r\n");
}

TEST(StandinScript, ProgressEvery500MsAndInstructionsAtOnceOnlyWhilePaused) {
    TTempDir dir;
    std::vector<std::string> taken;
    TPlaybackScript script(dir.WithSeparator(), [&](const TSyncInstruction& instruction) {
        taken.push_back(instruction.Status);
    });
    const std::string progress = dir / "demoprog.txt";
    const std::string sync = dir / "audiosync.txt";
    WriteBytes(sync, "0\r\n");
    script.Start();
    EXPECT_EQ(ReadBytes(progress), "0\r\n");
    script.Update(32);
    EXPECT_EQ(ReadBytes(progress), "32\r\n");
    script.Update(532);
    EXPECT_EQ(ReadBytes(progress), "32\r\n");

    // Read at the next progress point only.
    WriteBytes(sync, "1\r\n0.150\tBUFFERING\r\n");
    script.Update(512);
    EXPECT_TRUE(taken.empty());
    script.Update(544);
    EXPECT_EQ(ReadBytes(progress), "544\r\n");
    EXPECT_EQ(taken, std::vector<std::string>{"BUFFERING"});
    EXPECT_DOUBLE_EQ(script.TimeScale(), 0.15);

    // Below 0.2 every update reads it; the same number is taken once.
    script.Update(544);
    EXPECT_EQ(taken.size(), 1u);
    WriteBytes(sync, "2\r\n1.000\tNELQ\r\n");
    script.Update(576);
    EXPECT_EQ(taken, (std::vector<std::string>{"BUFFERING", "NELQ"}));
    EXPECT_DOUBLE_EQ(script.TimeScale(), 1.0);
    EXPECT_EQ(script.Status(), "NELQ");
    EXPECT_EQ(ReadBytes(progress), "544\r\n");

    // A line 2 that is empty changes nothing but uses up the number.
    WriteBytes(sync, "3\r\n\r\n");
    script.Update(1100);
    EXPECT_EQ(taken.size(), 2u);
    EXPECT_EQ(ReadBytes(progress), "1100\r\n");
}

TEST(StandinClock, SpeedDriftAndWaitingForData) {
    TDemoClock fast(0.02);
    fast.Advance(10.0, 1'000'000);
    EXPECT_EQ(fast.PlayedMs(), 10176); // 10200 ms in whole ticks

    TDemoClock clock(0);
    clock.Advance(1.0, 640);
    EXPECT_EQ(clock.PlayedMs(), 640); // waits at the end of what has arrived
    clock.Advance(5.0, 640);
    clock.Advance(0.1, 10'000);
    EXPECT_EQ(clock.PlayedMs(), 736); // and goes on from there, not from the wall clock
    clock.SetSpeed(0.15);
    clock.Advance(1.0, 10'000);
    EXPECT_EQ(clock.PlayedMs(), 864); // 736 + 150
    clock.SetSpeed(-1);
    clock.Advance(1.0, 10'000);
    EXPECT_EQ(clock.PlayedMs(), 864);
}

TEST(StandinRecording, ReadsTheRecordingWhileTheClientAppendsToIt) {
    TTempDir dir;
    const std::string path = dir / "nelqdemo0.rec";
    TGeneratorOptions options;
    options.DurationMs = 6400;
    options.InitialBlockLength = 300;
    const TGeneratedRecording recording = GenerateRecordingBytes(options);

    WriteBytes(path, AsText(recording.Head).substr(0, 20));
    TGrowingRecording reader(path);
    EXPECT_TRUE(reader.Poll());
    EXPECT_FALSE(reader.HeadComplete());
    EXPECT_FALSE(reader.Poll());

    TRebuiltRecordingWriter writer(path, recording);
    reader.Poll(); // the rest of the head
    EXPECT_TRUE(reader.HeadComplete());
    EXPECT_EQ(reader.AvailableDemoTimeMs(), 0);

    const std::vector<std::uint8_t> first = GeneratePacketStream(6400, 1);
    const std::vector<std::uint8_t> second = GeneratePacketStream(3200, 2);
    writer.Append(first); // more than the writer's 64 KiB: some of it reaches the file
    reader.Poll();
    const std::int64_t partly = reader.AvailableDemoTimeMs();
    EXPECT_GT(partly, 0);
    EXPECT_LT(partly, 6400);
    writer.Append(second);
    writer.Finish();
    reader.Poll();
    EXPECT_TRUE(reader.BodyEnded());
    EXPECT_EQ(reader.AvailableDemoTimeMs(), 6400 + 3200);
}

TEST(StandinRecording, CorruptOrShrinkingRecordingsRaise) {
    TTempDir dir;
    TGeneratorOptions options;
    options.DurationMs = 3200;
    const TGeneratedRecording recording = GenerateRecordingBytes(options);
    std::string corrupt = AsText(recording.Head) + AsText(recording.Body);
    corrupt.replace(recording.Head.size() + 10, 40, std::string(40, '\xFF'));
    WriteBytes(dir / "corrupt.rec", corrupt);
    TGrowingRecording bad(dir / "corrupt.rec");
    try {
        bad.Poll();
        FAIL() << "a corrupt body was read";
    } catch (const ERecordingReadError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("ZLIB ERROR: ", 0), 0u) << error.what();
    }

    WriteBytes(dir / "shrinks.rec", AsText(recording.Head) + AsText(recording.Body));
    TGrowingRecording shrinks(dir / "shrinks.rec");
    shrinks.Poll();
    WriteBytes(dir / "shrinks.rec", AsText(recording.Head));
    EXPECT_THROW(shrinks.Poll(), ERecordingReadError);

    EXPECT_THROW(TGrowingRecording(dir / "missing.rec"), ERecordingReadError);
}

} // namespace
