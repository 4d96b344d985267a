// Playback of a hosted cast from end to end, with the Linux stand-in as the
// game behind a launcher that notes each start.

#include "EventWait.h"
#include "PlaybackJourney.h"
#include "ProcessCheck.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesViewer.h"
#include "session/ViewingRun.h"

#include <filesystem>

namespace fs = std::filesystem;

TEST_F(PlaybackEndToEnd, EachRebuiltRecordingStartsTheGameWhenTheAudioReachesIt) {
    UseLauncher(Tools() + "t2-standin/t2-standin");
    StartServer("127.0.0.170");
    const fs::path work = Env.Dir / "work";
    fs::create_directories(work);
    // Two recordings with an audio-only stretch between them.
    Upload(0, MakeCastSection(work, 0, 4000, 4000));
    Upload(1, MakeFakeSection(work, 1, 5000));
    Upload(2, MakeCastSection(work, 2, 4000, 4000));
    Upload(3, MakeFakeSection(work, 3, 3000));
    Complete();
    View();

    ASSERT_TRUE(WaitUntil([&] {
        return GameLogText().contains("playing NELQ/recordings/nelqdemo2.rec");
    })) << State();
    const QString log = GameLogText();
    const auto first = log.indexOf("playing NELQ/recordings/nelqdemo0.rec");
    const auto quit = log.indexOf("demo complete");
    const auto second = log.indexOf("playing NELQ/recordings/nelqdemo2.rec");
    EXPECT_EQ(log.count("launched"), 2) << log.toStdString();
    ASSERT_GE(first, 0) << log.toStdString();
    // The first game quit at the end of its recording before the second began.
    EXPECT_LT(first, quit);
    EXPECT_LT(quit, second);
    EXPECT_EQ(Sync().PlaybackDemoNumber(), 2);
    // The second start came when the audio had reached section 2.
    EXPECT_GE(Sync().PlaySection(), 2);
    EXPECT_TRUE(BoxTexts.isEmpty()) << BoxTexts.join('\n').toStdString();
}

TEST_F(PlaybackEndToEnd, SectionsArrivingSlowerThanTheAudioPauseAndResume) {
    UseLauncher(Tools() + "t2-standin/t2-standin");
    StartServer("127.0.0.171");
    const fs::path work = Env.Dir / "work";
    fs::create_directories(work);
    for (std::int32_t n = 0; n < 3; ++n)
        Upload(n, MakeCastSection(work, n, 3000, 3000));
    View();

    // Past section 0 only section 2 lies beyond: the game is nearly stopped.
    ASSERT_TRUE(WaitUntil([&] { return Form->Viewing->PanelPaused->isVisible(); })) << State();
    EXPECT_TRUE(Sync().Paused());
    EXPECT_NE(AudioSync().find("0.150\tBUFFERING"), std::string::npos) << AudioSync();
    ASSERT_TRUE(WaitUntil([&] { return GameLogText().contains("speed 0.150 BUFFERING"); }))
        << State();

    Upload(3, MakeCastSection(work, 3, 3000, 3000));
    Upload(4, MakeCastSection(work, 4, 3000, 3000));
    ASSERT_TRUE(WaitUntil([&] { return !Form->Viewing->PanelPaused->isVisible(); })) << State();
    EXPECT_NE(AudioSync().find("1.000\tNELQ"), std::string::npos) << AudioSync();
    ASSERT_TRUE(WaitUntil([&] { return GameLogText().contains("speed 1.000 NELQ"); })) << State();
    Complete();
    // Playback goes on into the sections that arrived.
    ASSERT_TRUE(WaitUntil([&] { return Sync().PlaySection() >= 2; })) << State();
    EXPECT_TRUE(BoxTexts.isEmpty()) << BoxTexts.join('\n').toStdString();
}

TEST_F(PlaybackEndToEnd, AGameThatNeverOpensItsWindowIsGivenUpAndTheAudioGoesOn) {
    UseLauncher("/bin/true");
    StartServer("127.0.0.172");
    const fs::path work = Env.Dir / "work";
    fs::create_directories(work);
    for (std::int32_t n = 0; n < 5; ++n)
        Upload(n, MakeCastSection(work, n, 3000, 3000));
    Complete();
    View();

    ASSERT_TRUE(WaitUntil([&] { return Sync().GameLaunchPending(); })) << State();
    ASSERT_TRUE(WaitUntil([&] { return !Sync().GameLaunchPending(); })) << State();
    EXPECT_EQ(Sync().LaunchCheckCount(), TPlaybackSync::LaunchCheckLimit);
    EXPECT_EQ(GameLogText().count("launched"), 1);
    // The audio plays alone: its clock runs and playback moves on.
    ASSERT_TRUE(WaitUntil([&] { return Sync().PlaySection() >= 1; })) << State();
    EXPECT_GT(Sync().HeardAudioTime(), 0);
    EXPECT_TRUE(BoxTexts.isEmpty()) << BoxTexts.join('\n').toStdString();
}

TEST_F(PlaybackEndToEnd, BackEndsTheGameSoTheNextRunsGamePlaysAndClosingEndsThatOne) {
    UseLauncher(Tools() + "t2-standin/t2-standin");
    StartServer("127.0.0.173");
    const fs::path work = Env.Dir / "work";
    fs::create_directories(work);
    // One long recording: every game is still playing when its run ends.
    Upload(0, MakeCastSection(work, 0, 60000, 60000));
    Upload(1, MakeFakeSection(work, 1, 3000));
    Upload(2, MakeFakeSection(work, 2, 3000));
    Complete();
    const QString playing = QStringLiteral("playing NELQ/recordings/nelqdemo0.rec");

    View();
    ASSERT_TRUE(WaitUntil([&] { return GameLogText().count(playing) == 1; })) << State();
    ASSERT_EQ(LaunchedGames().size(), 1u) << State();
    const pid_t first = LaunchedGames()[0];
    // Back asks first while the cast plays; No leaves it playing.
    Boxes.stop(); // the question is answered here
    const int page = Form->CurrentPage();
    EXPECT_EQ(AnswerMessageBox([&] { Form->ExecuteAction(Form->ActionBack); }, "&No"),
              "NELQ Client Software|The cast is still playing. Going back stops it and returns "
              "to the start page.\n\nDo you wish to stop watching this cast?");
    EXPECT_EQ(Form->CurrentPage(), page);
    EXPECT_TRUE(Form->ViewRun() && Form->ViewRun()->Playing());
    AnswerMessageBox([&] { Form->ExecuteAction(Form->ActionBack); }, "&Yes");
    Boxes.start();
    ASSERT_EQ(Form->CurrentPage(), int(PageInto));
    EXPECT_TRUE(ProcessReaped(first));

    // The new run launches its own game at once: no window of the old one is
    // in its way, and the progress it waits for is its own game's.
    View();
    ASSERT_TRUE(WaitUntil([&] {
        return GameLogText().count(playing) == 2 && !Sync().GameLaunchPending();
    })) << State();
    ASSERT_EQ(LaunchedGames().size(), 2u) << State();
    const pid_t second = LaunchedGames()[1];
    EXPECT_FALSE(ProcessEnded(second));
    EXPECT_TRUE(Form->close());
    EXPECT_TRUE(ProcessReaped(second));
    EXPECT_TRUE(BoxTexts.isEmpty()) << BoxTexts.join('\n').toStdString();
}
