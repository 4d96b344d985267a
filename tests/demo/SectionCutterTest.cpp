#include "RecordingGenerator.h"
#include "TestSupport.h"

#include "demo/UnitDemoPart.h"
#include "demo/UnitSectionCutter.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

class SectionCutter : public ::testing::Test {
protected:
    void MakeCutter(int sectionStep) {
        Cutter = std::make_unique<TSectionCutter>(
            Recordings.WithSeparator(), Work.WithSeparator(), sectionStep,
            [this](std::int32_t section) { Cuts.push_back(section); });
        Cutter->SnapshotRecordings(); // as the filmer thread does when it starts
    }

    // A finished recording with its info file, as the game leaves it.
    std::string AddRecording(const std::string& name) {
        TGeneratorOptions options;
        options.DurationMs = 640;
        options.InitialBlockLength = 64;
        options.InfoText = "Time Remaining,Map\n10:00,Katabatic";
        GenerateRecording(Recordings / name, options);
        return Recordings / name;
    }

    void AddAudioParts(int count) {
        for (int n = 0; n < count; ++n)
            WriteBytes(Work / ("stream_" + std::to_string(n) + ".ogg"), "OggS");
    }

    // One fake section, queued and released as the timer does it.
    void FakeSection() {
        Cutter->QueueFake();
        Cutter->DetectRecordings();
        Cutter->ReleaseFake();
    }

    TTempDir Recordings;
    TTempDir Work;
    std::vector<std::int32_t> Cuts;
    std::unique_ptr<TSectionCutter> Cutter;
};

TEST_F(SectionCutter, StartPointsFollowTheStepCountedFromTheFirstRealSectionAfterAFake) {
    MakeCutter(3);
    for (int i = 0; i < 4; ++i)
        FakeSection(); // sections 0 to 3
    for (int n = 4; n <= 10; ++n) {
        AddRecording("game" + std::to_string(n) + ".rec");
        Cutter->DetectRecordings();
    }
    EXPECT_EQ(Cuts, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    AddAudioParts(11);

    for (int n = 0; n <= 10; ++n) {
        const auto parts = Cutter->PrepareSection(n);
        ASSERT_TRUE(parts) << "section " << n;
        EXPECT_EQ(parts->AudioPart, Work / ("stream_" + std::to_string(n) + ".ogg"));
        if (n <= 3) {
            EXPECT_EQ(parts->DemoPart, Work / "dummydemo.dat");
            EXPECT_EQ(parts->BodyOffset, 0);
            continue;
        }
        const bool startPoint = n == 4 || n == 7 || n == 10;
        EXPECT_EQ(ReadDemoPartHeader(parts->DemoPart).HeadLength > 0, startPoint)
            << "section " << n;
        EXPECT_EQ(parts->BodyOffset > 1032, startPoint);
    }
    EXPECT_EQ(Cutter->RunningTotalMs(), 7 * 640);
    EXPECT_TRUE(Cutter->QueueEmpty());
}

TEST_F(SectionCutter, EveryRealSectionIsAStartPointWithStepOne) {
    MakeCutter(1);
    for (const char* name : {"a.rec", "b.rec", "c.rec"}) {
        AddRecording(name);
        Cutter->DetectRecordings();
    }
    AddAudioParts(3);
    for (int n = 0; n < 3; ++n)
        EXPECT_GT(Cutter->PrepareSection(n)->BodyOffset, 1032);
}

TEST_F(SectionCutter, RecordingsFromBeforeFilmingAreNeverQueuedAndANameSortingFirstIsFound) {
    const std::string old = AddRecording("m-old.rec");
    std::ofstream stillWriting(old, std::ios::app); // the game may still be writing it
    MakeCutter(1);
    for (int pass = 0; pass < 3; ++pass)
        Cutter->DetectRecordings();
    EXPECT_TRUE(Cutter->QueueEntries().empty());

    const std::string first = AddRecording("!first.rec");
    AddRecording("z.txt"); // not a recording
    Cutter->DetectRecordings();
    Cutter->DetectRecordings();
    EXPECT_EQ(Cutter->QueueEntries(), std::vector<std::string>{first});
    EXPECT_EQ(Cuts, std::vector<std::int32_t>{0});
}

// Whatever a pass queues, recordings that appeared beside it are still new:
// each is queued in a later pass, in name order.
TEST_F(SectionCutter, RecordingsAppearingInThePassOfAnotherEntryAreQueuedLater) {
    MakeCutter(1);
    Cutter->QueueFake();
    const std::string duringFake = AddRecording("a.rec");
    Cutter->DetectRecordings(); // takes the pending fake
    Cutter->DetectRecordings();
    EXPECT_EQ(Cutter->QueueEntries(), (std::vector<std::string>{"FAKE", duringFake}));

    const std::string second = AddRecording("c.rec");
    const std::string first = AddRecording("b.rec");
    Cutter->DetectRecordings();
    Cutter->DetectRecordings();
    EXPECT_EQ(Cutter->QueueEntries(),
              (std::vector<std::string>{"FAKE", duringFake, first, second}));
    EXPECT_EQ(Cuts, (std::vector<std::int32_t>{0, 1, 2, 3}));
}

TEST_F(SectionCutter, AudioIsCutAgainTwoPassesAfterTheLastRecordingIsFinal) {
    MakeCutter(2);
    FakeSection(); // section 0
    EXPECT_TRUE(Cutter->IsAllowFake());

    // While the game writes the recording, no fake is opened and no cut follows.
    const std::string path = Recordings / "game.rec";
    {
        std::ofstream writing(path, std::ios::binary);
        writing << "partial";
        Cutter->DetectRecordings(); // section 1
        EXPECT_FALSE(Cutter->IsAllowFake());
        Cutter->QueueFake(); // a timer tick meanwhile
        for (int pass = 0; pass < 4; ++pass)
            Cutter->DetectRecordings();
        EXPECT_EQ(Cuts, (std::vector<std::int32_t>{0, 1}));
    }
    AddRecording("game.rec");
    Cutter->DetectRecordings();
    EXPECT_EQ(Cuts, (std::vector<std::int32_t>{0, 1}));
    Cutter->DetectRecordings(); // second pass with the recording final
    EXPECT_EQ(Cuts, (std::vector<std::int32_t>{0, 1, 2}));
    Cutter->DetectRecordings(); // the fake that follows cuts again under the same number
    EXPECT_EQ(Cuts, (std::vector<std::int32_t>{0, 1, 2, 2}));
    EXPECT_EQ(Cutter->QueueEntries(), (std::vector<std::string>{"", path, "FAKE"}));
    EXPECT_EQ(Cutter->DemoCount(), 3);
}

TEST_F(SectionCutter, SectionsWaitForFinalFilesAndInfo) {
    MakeCutter(1);
    Cutter->QueueFake();
    Cutter->DetectRecordings();
    AddAudioParts(2);
    EXPECT_FALSE(Cutter->PrepareSection(0)); // "FAKE" is still collecting audio
    Cutter->ReleaseFake();
    EXPECT_TRUE(Cutter->PrepareSection(0));

    const std::string path = AddRecording("game.rec");
    std::filesystem::remove(path + ".log");
    Cutter->DetectRecordings();
    EXPECT_FALSE(Cutter->PrepareSection(1)); // no info file yet
    WriteBytes(path + ".log", "Time Remaining,Map\r\n");
    {
        std::ofstream encoderStillWriting(Work / "stream_1.ogg", std::ios::app);
        EXPECT_FALSE(Cutter->PrepareSection(1));
    }
    EXPECT_TRUE(Cutter->PrepareSection(1));
    EXPECT_FALSE(Cutter->PrepareSection(2)); // nothing queued
}

TEST_F(SectionCutter, AfterStopNothingNewIsQueuedButTheOpenFakeIsReleased) {
    MakeCutter(1);
    FakeSection();
    Cutter->QueueFake();
    Cutter->DetectRecordings(); // an open fake, section 1
    Cutter->SetAccepting(false);

    AddRecording("late.rec");
    Cutter->QueueFake();
    for (int pass = 0; pass < 4; ++pass)
        Cutter->DetectRecordings();
    EXPECT_EQ(Cutter->QueueEntries(), (std::vector<std::string>{"", "FAKE"}));

    Cutter->ReleaseFake();
    AddAudioParts(2);
    EXPECT_EQ(Cutter->PrepareSection(0)->BodyOffset, 0);
    EXPECT_EQ(Cutter->PrepareSection(1)->BodyOffset, 0);
    EXPECT_TRUE(Cutter->QueueEmpty());
}

TEST_F(SectionCutter, AFailedBuildLosesItsEntryOnly) {
    MakeCutter(1);
    const std::string bad = AddRecording("a.rec");
    WriteBytes(bad, "too short");
    Cutter->DetectRecordings();
    AddRecording("b.rec");
    Cutter->DetectRecordings();
    AddAudioParts(1);
    EXPECT_THROW(Cutter->PrepareSection(0), std::runtime_error);
    // The next entry is prepared as the same section.
    EXPECT_GT(Cutter->PrepareSection(0)->BodyOffset, 1032);
    EXPECT_THROW(TSectionCutter("/", "/", 0, [](std::int32_t) {}), std::invalid_argument);
}

} // namespace
