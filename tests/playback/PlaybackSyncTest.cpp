#include "../app/CommaLocale.h"
#include "CastAudioFiles.h"
#include "SteppedWaveOutDevice.h"

#include "playback/GameSyncFiles.h"
#include "playback/PlaybackSync.h"
#include "playback/SyncArithmetic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The cast as assembly would leave it, with time tables the test chooses.
class TableCast : public TPlaybackCast {
public:
    std::int32_t StartSection() const override { return Start; }
    std::int32_t LastCompletedSection() const override { return Last; }
    bool StreamsEnded() const override { return Ended; }
    std::int32_t AudioEndTime(std::int32_t section) const override { return Audio[section]; }
    std::int32_t DemoEndTime(std::int32_t section) const override { return Demo[section]; }
    TListDemoStarts& DemoStarts() override { return Starts; }

    // Sections that follow each other, each `audioMs` long on the audio time
    // line and `demoMs` on the demo one.
    void Complete(std::int32_t section, std::int32_t audioMs, std::int32_t demoMs) {
        const std::int32_t audioStart = section > Start ? Audio[section - 1] : 0;
        const std::int32_t demoStart = section > Start ? Demo[section - 1] : 0;
        Audio.Set(section, audioStart + audioMs);
        Demo.Set(section, demoStart + demoMs);
        Last = section;
    }

    std::int32_t Start = 0;
    std::int32_t Last = -1;
    bool Ended = false;
    TSectionTimeTable Audio, Demo;
    TListDemoStarts Starts;
};

class FakeWindows : public GameWindowFinder {
public:
    bool GameWindowExists() override { return Open; }
    bool Open = false;
};

std::string ReadWhole(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteWhole(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class PlaybackSyncTest : public ::testing::Test {
protected:
    void SetUp() override {
        Root = fs::temp_directory_path() /
               ("nelq-sync-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Root);
        fs::create_directories(CastDir());
        fs::create_directories(GameDir() / "NELQ");
    }
    void TearDown() override {
        Sync.reset();
        fs::remove_all(Root);
    }

    fs::path CastDir() const { return Root / "streams" / "cast"; }
    fs::path GameDir() const { return Root / "GameData"; }
    std::string AudioSync() const { return ReadWhole(GameDir() / "NELQ" / "audiosync.txt"); }
    void ReportDemoTime(const std::string& text) {
        WriteWhole(GameDir() / "NELQ" / "demoprog.txt", text);
    }

    // Sections first..last complete, each 1 s of audio and `demoMs` of demo.
    // Their files hold more than the four device buffers take, so the
    // decoder stays in the section it started with.
    void CompleteSections(std::int32_t first, std::int32_t last, std::int32_t demoMs = 1000) {
        for (std::int32_t section = first; section <= last; ++section) {
            WriteSectionAudio(CastDir(), section, MonoIndex, 7.0);
            Cast.Complete(section, 1000, demoMs);
        }
    }

    void Start(std::int32_t section, bool audioOnly = false) {
        Sync = std::make_unique<TPlaybackSync>(
            Cast, Windows,
            TPlaybackSyncSettings{CastDir().string() + "/", GameDir().string() + "/", audioOnly},
            TPlaybackSyncHooks{[this](std::int32_t demo) {
                                   if (LaunchFails)
                                       throw std::runtime_error("cannot write the scripts");
                                   // As the real launch does.
                                   fs::remove(GameDir() / "NELQ" / "demoprog.txt");
                                   Launches.push_back(demo);
                               },
                               [this](bool paused) { PanelShown = paused; },
                               [this](const std::string& message) { Errors.push_back(message); },
                               [this] { return GameProcessLives; }},
            [this] { return std::make_unique<SteppedWaveOutDevice>(Clock); });
        Started = Sync->StartPlayback(section);
        if (Started)
            Sync->RestartAudio();
    }

    // One tick with the device having played `ms` since its last reset.
    void TickAt(std::int64_t ms) {
        Clock->SetMs(ms);
        Sync->Tick();
        RunPosted();
    }

    void RunPosted() {
        auto tasks = std::move(Clock->Posted);
        Clock->Posted.clear();
        for (auto& task : tasks)
            task();
    }

    fs::path Root;
    TableCast Cast;
    FakeWindows Windows;
    std::shared_ptr<SteppedClock> Clock = std::make_shared<SteppedClock>();
    std::unique_ptr<TPlaybackSync> Sync;
    bool Started = false;
    bool LaunchFails = false;
    bool GameProcessLives = false;
    std::vector<std::int32_t> Launches;
    std::vector<std::string> Errors;
    bool PanelShown = false;
};

} // namespace

TEST(SyncArithmeticTest, GamePositionAndDriftSpeed) {
    EXPECT_EQ(GamePositionMs(300), 0);
    EXPECT_EQ(GamePositionMs(5300), 4800);
    EXPECT_EQ(FormatSpeed(DriftSpeed(20000)), "2.000");
    EXPECT_EQ(FormatSpeed(DriftSpeed(1000)), "1.200");
    EXPECT_EQ(FormatSpeed(DriftSpeed(0)), "1.000");
    EXPECT_EQ(FormatSpeed(DriftSpeed(-2000)), "0.800");
    // 1 - 0.6 = 0.4 is raised to the floor.
    EXPECT_EQ(FormatSpeed(DriftSpeed(-6000)), "0.500");
}

TEST(SyncArithmeticTest, DemoTimeInterpolatesInsideTheSection) {
    TableCast cast;
    cast.Complete(0, 10000, 9600);
    cast.Complete(1, 2000, 4000);
    EXPECT_EQ(EstimateDemoTime(cast, 5000, 0), 4800);
    EXPECT_EQ(EstimateDemoTime(cast, 11000, 0), 11600);
    // Relative to the recording handed to the game.
    EXPECT_EQ(EstimateDemoTime(cast, 11000, 10000), 1600);
    EXPECT_EQ(EstimateDemoTime(cast, 12000, 0), -1);
    cast.Last = -1;
    EXPECT_EQ(EstimateDemoTime(cast, 0, 0), -1);
}

TEST_F(PlaybackSyncTest, AudioSyncFileLinesAndTheirEnds) {
    WriteAudioSync(GameDir().string(), 0, "ignored", 2.0);
    EXPECT_EQ(AudioSync(), "0\r\n");
    WriteAudioSync(GameDir().string(), 7, "BUFFERING", 0.15);
    EXPECT_EQ(AudioSync(), "7\r\n0.150\tBUFFERING\r\n");

    // A locale with a decimal comma changes nothing.
    ScratchDir localeDir;
    ASSERT_TRUE(UseGermanCLocale(localeDir)) << "localedef (package locales) is needed";
    WriteAudioSync(GameDir().string(), 8, FormatSpeed(1.25), 1.25);
    LeaveGermanCLocale();
    EXPECT_EQ(AudioSync(), "8\r\n1.250\t1.250\r\n");

    // A mod directory that cannot be written is no error: the next instruction tries again.
    fs::remove_all(GameDir() / "NELQ");
    WriteWhole(GameDir() / "NELQ", "a file in the way");
    EXPECT_NO_THROW(WriteAudioSync(GameDir().string(), 9, "NELQ", 1.0));
}

TEST_F(PlaybackSyncTest, DemoProgressMustBeAWholeNumber) {
    EXPECT_FALSE(ReadDemoProgress(GameDir().string()));
    ReportDemoTime(" 4300\r\n");
    EXPECT_EQ(ReadDemoProgress(GameDir().string()), 4300);
    for (const char* text : {"", "\r\n", "12.5", "12ab", "abc"}) {
        ReportDemoTime(text);
        EXPECT_FALSE(ReadDemoProgress(GameDir().string())) << text;
    }
}

TEST_F(PlaybackSyncTest, PausesForBufferingAndResumesAtTheStartOfTheSection) {
    Cast.Start = 4;
    CompleteSections(4, 6);
    Start(4);
    ASSERT_TRUE(Started);
    EXPECT_EQ(AudioSync(), "0\r\n");
    EXPECT_GT(Clock->BytesWritten, 0u);

    TickAt(900);
    EXPECT_EQ(Sync->PlaySection(), 4);
    EXPECT_FALSE(Sync->Paused());

    // Past the end of section 4: 5 + 1 >= 6, fewer than two sections beyond.
    TickAt(1100);
    EXPECT_EQ(Sync->PlaySection(), 5);
    EXPECT_EQ(ReadWhole(CastDir() / "lastplayed.dat"), "5\r\n");
    EXPECT_TRUE(Sync->Paused());
    EXPECT_TRUE(PanelShown);
    EXPECT_EQ(AudioSync(), "1\r\n0.150\tBUFFERING\r\n");
    EXPECT_FALSE(Sync->Player().DecoderOpen());
    EXPECT_EQ(Sync->AudioOffset(), 1100);

    TickAt(2000); // still waiting
    EXPECT_TRUE(Sync->Paused());
    EXPECT_EQ(AudioSync(), "1\r\n0.150\tBUFFERING\r\n");

    CompleteSections(7, 7);
    TickAt(2500);
    EXPECT_FALSE(Sync->Paused());
    EXPECT_FALSE(PanelShown);
    EXPECT_EQ(AudioSync(), "2\r\n1.000\tNELQ\r\n");
    EXPECT_EQ(Sync->Player().DecodeSection(), 5);
    EXPECT_EQ(Clock->Frames, 0);
    // The clock starts again where section 5 begins.
    EXPECT_EQ(Sync->AudioOffset(), 1000);
    TickAt(500);
    EXPECT_EQ(Sync->HeardAudioTime(), 1500);
    EXPECT_EQ(Sync->PlaySection(), 5);
}

TEST_F(PlaybackSyncTest, AnEndedCastIsNeverPaused) {
    CompleteSections(0, 2);
    Cast.Ended = true;
    Start(0);
    TickAt(1100);
    EXPECT_EQ(Sync->PlaySection(), 1);
    EXPECT_FALSE(Sync->Paused());
    TickAt(2100);
    TickAt(3100);
    // The last section is where playback stays.
    for (int tick = 0; tick < 5; ++tick)
        TickAt(3500 + tick * 500);
    EXPECT_EQ(Sync->PlaySection(), 2);
    EXPECT_EQ(ReadWhole(CastDir() / "lastplayed.dat"), "2\r\n");
    EXPECT_EQ(Sync->SyncCount(), 0);
}

TEST_F(PlaybackSyncTest, APauseIsLiftedWhenTheCastEnds) {
    CompleteSections(0, 2);
    Start(0);
    TickAt(1100);
    ASSERT_TRUE(Sync->Paused());
    TickAt(0);
    EXPECT_TRUE(Sync->Paused());
    Cast.Ended = true;
    TickAt(0);
    EXPECT_FALSE(Sync->Paused());
    EXPECT_EQ(AudioSync(), "2\r\n1.000\tNELQ\r\n");
}

TEST_F(PlaybackSyncTest, AudioOnlyNeverLaunchesNorCorrects) {
    CompleteSections(0, 3);
    Cast.Starts.Add(0, 0);
    Windows.Open = true; // someone else's window of that title
    ReportDemoTime("3000");
    Start(0, true);
    for (int tick = 1; tick <= 3; ++tick) {
        ReportDemoTime(std::to_string(3000 + tick * 500));
        TickAt(tick * 300);
    }
    EXPECT_TRUE(Launches.empty());
    EXPECT_EQ(Sync->SyncCount(), 0);
    // Buffering still pauses.
    TickAt(1100);
    TickAt(2100);
    EXPECT_EQ(Sync->PlaySection(), 2);
    EXPECT_TRUE(Sync->Paused());
}

TEST_F(PlaybackSyncTest, LaunchesWhenTheAudioReachesARecordingAndWaitsForItsFirstReport) {
    CompleteSections(0, 5);
    Cast.Starts.Add(2, 2000);
    Start(0);
    TickAt(1500);
    EXPECT_TRUE(Launches.empty());

    ReportDemoTime("2600");
    Windows.Open = true; // the previous game, for a correction
    TickAt(1900);
    Windows.Open = false;
    ASSERT_NE(Sync->LastDemoPosition(), 0);

    TickAt(2100); // section 2 begins a recording
    ASSERT_EQ(Launches, std::vector<std::int32_t>{2});
    EXPECT_TRUE(Sync->GameLaunchPending());
    EXPECT_EQ(Sync->LastDemoPosition(), 0);
    EXPECT_EQ(Sync->LaunchCheckCount(), 0);
    EXPECT_EQ(Sync->PlaybackDemoNumber(), 2);
    EXPECT_EQ(Sync->DemoBaseTime(), 2000);
    EXPECT_EQ(Cast.Starts.Count(), 0);
    EXPECT_FALSE(Sync->Player().DecoderOpen());

    // A window without a report keeps the launch pending (silence meanwhile).
    Windows.Open = true;
    for (int tick = 0; tick < 20; ++tick)
        TickAt(100 * tick);
    EXPECT_TRUE(Sync->GameLaunchPending());
    EXPECT_EQ(Sync->LaunchCheckCount(), 0);

    ReportDemoTime("\r\n");
    TickAt(2000);
    EXPECT_FALSE(Sync->GameLaunchPending());
    // The audio starts again where the recording begins.
    EXPECT_EQ(Sync->Player().DecodeSection(), 2);
    EXPECT_EQ(Clock->Frames, 0);
    TickAt(400);
    EXPECT_EQ(Sync->HeardAudioTime(), 2400);
    EXPECT_EQ(Sync->EstimateDemoTime(2400), 400);
}

TEST_F(PlaybackSyncTest, AGameThatNeverShowsItsWindowIsGivenUpAfterSixteenTicks) {
    CompleteSections(0, 5);
    Cast.Starts.Add(0, 0);
    Start(0);
    TickAt(100);
    ASSERT_EQ(Launches.size(), 1u);
    for (int tick = 1; tick < TPlaybackSync::LaunchCheckLimit; ++tick)
        TickAt(100);
    EXPECT_TRUE(Sync->GameLaunchPending());
    EXPECT_EQ(Sync->LaunchCheckCount(), 15);
    TickAt(100);
    EXPECT_FALSE(Sync->GameLaunchPending());
    EXPECT_TRUE(Sync->Player().DecoderOpen());
    EXPECT_EQ(Sync->Player().DecodeSection(), 0);
    // The audio goes on alone and sections still advance.
    TickAt(1200);
    EXPECT_EQ(Sync->PlaySection(), 1);
    EXPECT_EQ(Launches.size(), 1u);
}

// Wine may take many seconds to open the game's window: while the game's
// process lives the launch waits longer, and ends as soon as the process does.
TEST_F(PlaybackSyncTest, ALaunchWaitsLongerWhileTheGamesProcessLives) {
    struct Case {
        int ProcessEndsAtTick; // 0: never
        int WindowAtTick;      // 0: never
        int PendingUntilTick;  // 0: still pending at the last tick
    };
    constexpr int Long = TPlaybackSync::StartingGameCheckLimit;
    const Case cases[] = {
        {0, 0, Long},                            // a process that never shows a window
        {5, 0, TPlaybackSync::LaunchCheckLimit}, // it ends early: the usual limit
        {40, 0, 40},                             // it ends late: the launch ends with it
        {0, 30, 0},                              // a window, no report yet: waits on
    };
    CompleteSections(0, 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "process ends " << c.ProcessEndsAtTick << ", window " << c.WindowAtTick);
        Windows.Open = false;
        GameProcessLives = true;
        Cast.Starts.Add(0, 0);
        Start(0);
        TickAt(100);
        ASSERT_TRUE(Sync->GameLaunchPending());
        int endedAt = 0;
        for (int tick = 1; tick <= Long + 10 && endedAt == 0; ++tick) {
            GameProcessLives = c.ProcessEndsAtTick == 0 || tick < c.ProcessEndsAtTick;
            Windows.Open = c.WindowAtTick != 0 && tick >= c.WindowAtTick;
            TickAt(100);
            if (!Sync->GameLaunchPending())
                endedAt = tick;
        }
        EXPECT_EQ(endedAt, c.PendingUntilTick);
    }
}

TEST_F(PlaybackSyncTest, AGameStillPlayingThePreviousRecordingIsLeftToFinish) {
    CompleteSections(0, 6);
    Cast.Starts.Add(2, 2000);
    Windows.Open = true;
    Start(0);
    TickAt(2100);
    TickAt(2600);
    EXPECT_TRUE(Launches.empty());
    Windows.Open = false; // it quit at the end of its recording
    TickAt(2700);
    EXPECT_EQ(Launches, std::vector<std::int32_t>{2});
    EXPECT_EQ(Sync->PlaySection(), 2);
}

TEST_F(PlaybackSyncTest, ALaunchThatFailsLetsTheAudioGoOnAlone) {
    CompleteSections(0, 5);
    Cast.Starts.Add(0, 0);
    LaunchFails = true;
    Start(0);
    Clock->SetMs(100);
    EXPECT_THROW(Sync->Tick(), std::runtime_error);
    RunPosted();
    EXPECT_FALSE(Sync->GameLaunchPending());
    EXPECT_EQ(Cast.Starts.Count(), 0);
    EXPECT_TRUE(Sync->Player().DecoderOpen());
    TickAt(100); // no second attempt
    EXPECT_FALSE(Sync->GameLaunchPending());
}

TEST_F(PlaybackSyncTest, DriftCorrectionFollowsTheGamesReports) {
    // The worked example: section 0 holds 10 s of audio and 9.6 s of demo.
    WriteSectionAudio(CastDir(), 0, MonoIndex, 1.0);
    Cast.Complete(0, 10000, 9600);
    WriteSectionAudio(CastDir(), 1, MonoIndex, 1.0);
    Cast.Complete(1, 10000, 10000);
    Cast.Ended = true;
    Windows.Open = true;
    Start(0);

    TickAt(5000); // no report yet
    EXPECT_EQ(Sync->SyncCount(), 0);
    ReportDemoTime("5300");
    TickAt(5000);
    EXPECT_EQ(Sync->LastDemoPosition(), 4800);
    EXPECT_EQ(AudioSync(), "1\r\n1.000\t1.000\r\n");
    ReportDemoTime("4300");
    TickAt(5000);
    EXPECT_EQ(AudioSync(), "2\r\n1.200\t1.200\r\n");
    // Nothing new from the game since the last tick: no instruction.
    TickAt(5400);
    EXPECT_EQ(Sync->SyncCount(), 2);

    ReportDemoTime("not a number");
    TickAt(5500);
    EXPECT_EQ(Sync->SyncCount(), 2);

    // Early reports count from 0.
    ReportDemoTime("300");
    TickAt(5500);
    EXPECT_EQ(Sync->LastDemoPosition(), 0);
    EXPECT_EQ(AudioSync(), "3\r\n2.000\t2.000\r\n");

    // An audio time beyond the completed sections has no demo time.
    ReportDemoTime("20000");
    TickAt(25000);
    EXPECT_EQ(Sync->LastDemoPosition(), 19500);
    EXPECT_EQ(Sync->SyncCount(), 3);

    // No game window, no correction.
    Windows.Open = false;
    ReportDemoTime("9000");
    TickAt(5000);
    EXPECT_EQ(Sync->SyncCount(), 3);
}

TEST_F(PlaybackSyncTest, AFirstSectionThatCannotBeDecodedIsShownOnceAndSkipped) {
    Cast.Start = 3;
    CompleteSections(3, 6);
    WriteWhole(CastDir() / "audio_3.ogg", "not an ogg file at all");
    Cast.Starts.Add(3, 0);
    Start(3);
    ASSERT_TRUE(Started);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0], "ov_open_callbacks failed: OV_ENOTVORBIS");
    EXPECT_EQ(Sync->PlaySection(), 4);
    EXPECT_EQ(Sync->AudioOffset(), 1000);

    // The game starts on the recording from section 3; the audio picks up at
    // the next section it can play, without a second box.
    TickAt(100);
    ASSERT_EQ(Launches, std::vector<std::int32_t>{3});
    ReportDemoTime("\r\n");
    TickAt(0);
    EXPECT_FALSE(Sync->GameLaunchPending());
    EXPECT_EQ(Sync->Player().DecodeSection(), 4);
    EXPECT_EQ(Sync->AudioOffset(), 1000);
    EXPECT_EQ(Errors.size(), 1u);
}

TEST_F(PlaybackSyncTest, NoPlayableFirstSectionsStopPlaybackWithAClearMessage) {
    CompleteSections(0, 2);
    for (int section = 0; section <= 2; ++section)
        WriteWhole(CastDir() / ("audio_" + std::to_string(section) + ".ogg"), "garbage");
    Start(0);
    EXPECT_FALSE(Started);
    ASSERT_EQ(Errors.size(), 2u);
    EXPECT_EQ(Errors[0], "ov_open_callbacks failed: OV_ENOTVORBIS");
    EXPECT_EQ(Errors[1], TPlaybackSync::NoPlayableAudioMessage);
    EXPECT_EQ(Sync->Player().WaveOut(), nullptr);
}
