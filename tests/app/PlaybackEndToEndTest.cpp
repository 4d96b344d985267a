// Playback of a hosted cast from end to end: the casting server and the game
// stand-in run as programs of their own, the client's window downloads and
// assembles the cast, plays its commentary through the private sound server
// and starts, pauses and steers the game.

#include "../playback/CastSections.h"
#include "CastClients.h"
#include "EventWait.h"
#include "ProcessCheck.h"
#include "QtTestSupport.h"
#include "app/UnitFormMain.h"
#include "session/ViewingRun.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesViewer.h"
#include "net/OpeningExchange.h"
#include "playback/PlaybackSync.h"
#include "BuildTree.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const QString Tools = QString::fromStdString(BuildTreePath("tools/"));
constexpr int Deadline = 60000;

// Runs events until `done` holds; false after the deadline.
bool WaitUntil(const std::function<bool()>& done) { return PumpUntil(done, Deadline); }

TSectionParts Parts(const TCastSection& section) {
    return TSectionParts{section.Demo, section.BodyOffset, section.Audio};
}

class PlaybackEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("NELQ_TEST_AUDIO") ||
            qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "needs the private display and sound server of scripts/test-env";
        Env.InstallGame("valid.exe", PlaybackExecutableName);
        Form = Env.CreateForm();
        Form->show();
        // Any box that opens is answered and remembered, so the run never
        // waits on one.
        Boxes.setInterval(100);
        QObject::connect(&Boxes, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                BoxTexts << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        Boxes.start();
    }

    void TearDown() override {
        if (Form)
            Form->StopAll();
        if (Server.state() != QProcess::NotRunning) {
            Server.terminate();
            Server.waitForFinished(10000);
        }
    }

    // The launcher the client starts the game with: it notes each launch with
    // the game's process number in the game log and hands over to `game`.
    void UseLauncher(const QString& game) {
        const std::string script = Env.Dir / "launch.sh";
        std::ofstream(script) << "echo launched $$ >> '" << GameLog() << "'\n"
                              << "exec " << game.toStdString() << " \"$@\" >> '" << GameLog()
                              << "' 2>&1\n";
        Form->Settings().WriteString("Settings", "GameLauncher",
                                    QString::fromStdString("/bin/sh " + script));
    }
    std::string GameLog() const { return Env.Dir / "game.log"; }
    QString GameLogText() const { return QString::fromStdString(ReadAll(GameLog())); }
    // The process numbers of the games launched so far, in order.
    std::vector<pid_t> LaunchedGames() const {
        std::vector<pid_t> games;
        QRegularExpressionMatchIterator launches =
            QRegularExpression("^launched (\\d+)$", QRegularExpression::MultilineOption)
                .globalMatch(GameLogText());
        while (launches.hasNext())
            games.push_back(static_cast<pid_t>(launches.next().captured(1).toInt()));
        return games;
    }

    void StartServer(const std::string& address) {
        Address = address;
        Server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Server.start(Tools + "nelq-server/nelq-server",
                     {"--bind", QString::fromStdString(address), "--data",
                      QString::fromStdString(Env.Dir / "casts")});
        ASSERT_TRUE(Server.waitForStarted(10000));
        // Ready once it takes a filmer.
        ASSERT_TRUE(WaitUntil([&] { return ConnectFilmer(); })) << "the server never listened";
    }

    bool ConnectFilmer() {
        Filmer = std::make_unique<TServerConnection>();
        try {
            return ConnectAs(*Filmer, Address, FilmerRole.Port, FilmerRole.RoleCode).Accepted &&
                   FilmerLogin(*Filmer, "", "NEW", "PLAY").Accepted;
        } catch (const std::exception&) {
            return false;
        }
    }

    void Upload(std::int32_t section, const TCastSection& parts) {
        UploadSection(*Filmer, section, Parts(parts));
    }
    void Complete() {
        Filmer->WriteLine("COMPLETED");
        Filmer->WriteLine("HI"); // answered once everything before it was taken
        Filmer->ReadLine();
    }

    // Views the cast "PLAY" from its start.
    void View() {
        Form->Into->ComboBoxViewHost->setEditText(QString::fromStdString(Address));
        Form->SelectMode(WizardMode::ViewServer);
        Form->ExecuteAction(Form->ActionNext);
        ASSERT_TRUE(WaitUntil([&] { return Form->CurrentPage() == int(PageViewOptions); }))
            << State();
        Form->ViewOptions->CheckBoxAudioOnly->setChecked(false);
        Form->ExecuteAction(Form->ActionNext);
        ASSERT_TRUE(WaitUntil([&] {
            return Form->CurrentPage() == PageSectionPick || Form->CurrentPage() == PageViewing;
        })) << State();
        if (Form->CurrentPage() == PageSectionPick) {
            Form->SectionPick->RadioButtonPlayFromStart->setChecked(true);
            Form->ExecuteAction(Form->ActionNext);
        }
        ASSERT_TRUE(WaitUntil([&] { return Form->ViewRun() && Form->ViewRun()->Sync(); }))
            << State();
    }

    TPlaybackSync& Sync() { return *Form->ViewRun()->Sync(); }
    // What a failed wait shows.
    std::string State() const {
        std::string state = "page " + std::to_string(Form->CurrentPage());
        if (const TPlaybackSync* sync = Form->ViewRun() ? Form->ViewRun()->Sync() : nullptr)
            state += ", play section " + std::to_string(sync->PlaySection()) + ", paused " +
                     std::to_string(sync->Paused()) + ", launch pending " +
                     std::to_string(sync->GameLaunchPending()) + ", last completed " +
                     std::to_string(Form->ViewRun()->Assembly().LastCompletedSection()) + ", heard " +
                     std::to_string(Form->ViewRun()->Sync()->HeardAudioTime()) + " ms, decoding " +
                     std::to_string(Form->ViewRun()->Sync()->Player().DecodeSection()) +
                     ", device playing " +
                     std::to_string(Form->ViewRun()->Sync()->Player().WaveOut()->Playing());
        return state + "\naudiosync.txt: " + AudioSync() + "\ngame log:\n" +
               GameLogText().toStdString();
    }
    std::string AudioSync() const {
        return ReadAll(Form->GameDirectory().toStdString() + "NELQ/audiosync.txt");
    }

    ClientEnvironment Env;
    std::unique_ptr<TFormMain> Form;
    QProcess Server;
    std::string Address;
    std::unique_ptr<TServerConnection> Filmer;
    QTimer Boxes;
    QStringList BoxTexts;
};

} // namespace

TEST_F(PlaybackEndToEnd, EachRebuiltRecordingStartsTheGameWhenTheAudioReachesIt) {
    UseLauncher(Tools + "t2-standin/t2-standin");
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
    UseLauncher(Tools + "t2-standin/t2-standin");
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
    UseLauncher(Tools + "t2-standin/t2-standin");
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
