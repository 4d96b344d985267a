// A viewing run with no window at all: the casting server and the game
// stand-in run as programs of their own, the run downloads and assembles the
// cast, plays its commentary through the private sound server and starts the
// game; and its one Stop, asked for again from inside its own wait.

#include "CastClients.h"
#include "CastSections.h"
#include "PrivateSoundDevice.h"
#include "ProcessCheck.h"
#include "ScratchDir.h"
#include "app/ConfiguredGameStarter.h"
#include "app/QtSyncContext.h"
#include "app/UnitSettingsStore.h"
#include "net/OpeningExchange.h"
#include "net/UnitViewerThread.h"
#include "playback/PlaybackSync.h"
#include "session/RunEndings.h"
#include "session/ViewingRun.h"
#include "session/ViewingView.h"
#include "BuildTree.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

constexpr int Deadline = 60000;
const QString Tools = QString::fromStdString(BuildTreePath("tools/"));

bool WaitUntil(const std::function<bool()>& done) {
    return PumpUntil(done, Deadline);
}

// Keeps what the run showed, and answers the choices a user would make.
class RecordingView : public TViewingView {
public:
    void ShowConnecting() override { Shown.push_back("connecting"); }
    void ShowStatus(const std::string& line) override {
        Shown.push_back("status " + line);
    }
    void ShowEnding(const TEnding& ending) override { Endings.push_back(ending); }
    void ShowPlayback(const std::string& line) override { Playback.push_back(line); }
    void ShowLogin() override { Shown.push_back("login"); }
    void ShowGames(const std::vector<std::string>& games) override {
        Shown.push_back("games " + std::to_string(games.size()));
        if (OnGames)
            OnGames(games);
    }
    void ShowSectionPick(const std::vector<std::string>& sections) override {
        Shown.push_back("pick " + std::to_string(sections.size()));
        if (OnSectionPick)
            OnSectionPick();
    }
    void ShowViewing() override { Viewing = true; }
    void ShowDownload(const TDownloadProgress& progress) override { Downloads.push_back(progress); }
    void ShowBufferLabel(const std::string& text) override { Shown.push_back("buffer " + text); }
    void ShowPaused(bool paused) override { Shown.push_back(paused ? "paused" : "playing"); }
    void ShowError(const std::string& message) override { Shown.push_back("error " + message); }
    void ShowReplay(int replayed, int total) override {
        Shown.push_back("replay " + std::to_string(replayed) + "/" + std::to_string(total));
    }
    bool Saw(const std::string& entry) const {
        return std::find(Shown.begin(), Shown.end(), entry) != Shown.end();
    }

    std::vector<std::string> Shown;
    std::vector<TDownloadProgress> Downloads;
    std::vector<TEnding> Endings;
    std::vector<std::string> Playback;
    bool Viewing = false;
    std::function<void(const std::vector<std::string>&)> OnGames;
    std::function<void()> OnSectionPick;
};

class ViewingRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_session_viewing";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }
    void SetUp() override {
        Settings.WriteString(SettingsSection, "GameLauncher",
                             QString::fromStdString("'" + StandinProgram() + "'"));
    }
    void TearDown() override {
        if (Run)
            Run->Stop();
        if (Server.state() != QProcess::NotRunning) {
            Server.terminate();
            Server.waitForFinished(10000);
        }
    }
    void MakeRun() {
        Run = std::make_unique<TViewingRun>(
            Sync, View, Timer, std::make_unique<ConfiguredGameStarter>(GameDirectory(), Settings),
            TViewingSetup{"1.0.0.47", GameDirectory(), Dir / "streams/"});
        QObject::connect(&Timer, &QTimer::timeout, [this] { Run->TimerSyncTimer(); });
    }
    std::string GameDirectory() const { return Dir / "game/"; }

    ScratchDir Dir;
    SettingsStore Settings{QString::fromStdString(Dir / "settings.ini")};
    QtSyncContext Sync;
    QTimer Timer;
    RecordingView View;
    std::unique_ptr<TViewingRun> Run;
    QProcess Server;
};

TEST_F(ViewingRunTest, ACastIsDownloadedAssembledHeardAndPlayedByTheGame) {
    if (qEnvironmentVariableIsEmpty("NELQ_TEST_AUDIO") || qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs the private display and sound server of scripts/test-env";
    const std::string address = "127.0.0.230";
    Server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Server.start(Tools + "nelq-server/nelq-server",
                 {"--bind", QString::fromStdString(address), "--data",
                  QString::fromStdString(Dir / "casts")});
    ASSERT_TRUE(Server.waitForStarted(10000));
    TServerConnection filmer;
    ASSERT_TRUE(WaitUntil([&] {
        try {
            return ConnectAs(filmer, address, FilmerRole.Port, FilmerRole.RoleCode).Accepted &&
                   FilmerLogin(filmer, "", "NEW", "PLAY").Accepted;
        } catch (const std::exception&) {
            return false;
        }
    }));
    std::filesystem::create_directories(Dir / "work");
    for (std::int32_t n = 0; n < 4; ++n) {
        const TCastSection section = MakeCastSection(Dir / "work", n, 3000, 3000);
        UploadSection(filmer, n, {section.Demo, section.BodyOffset, section.Audio});
    }
    filmer.WriteLine("COMPLETED");

    MakeRun();
    // The user's choices: the only cast, from its start.
    View.OnGames = [this](const std::vector<std::string>& games) {
        QTimer::singleShot(0, [this, game = games.front()] { Run->ChooseGame(game, false); });
    };
    View.OnSectionPick = [this] { QTimer::singleShot(0, [this] { Run->ViewFromSection(0); }); };
    Run->Connect(address, std::chrono::seconds(60));
    ASSERT_TRUE(WaitUntil([&] { return Run->Sync() && Run->Sync()->HeardAudioTime() > 1000; }))
        << ::testing::PrintToString(View.Shown);
    const std::string progress = GameDirectory() + "NELQ/demoprog.txt";
    ASSERT_TRUE(WaitUntil([&] { return !ReadAll(progress).empty(); })) << "the game started";

    EXPECT_EQ(View.Shown.front(), "connecting");
    EXPECT_TRUE(View.Saw("games 1"));
    EXPECT_TRUE(View.Viewing);
    ASSERT_FALSE(View.Downloads.empty());
    EXPECT_EQ(View.Downloads.front().BufferLabel, "Downloading Buffer Section ( 1 of 3 )");
    EXPECT_EQ(Run->CurrentGame(), "PLAY");
    EXPECT_TRUE(WaitUntil([&] { return Run->Assembly().LastCompletedSection() == 3; }));
    EXPECT_TRUE(StandInRunningIn(GameDirectory()));

    // Where playback stands is told every tick, until the cast has played out.
    ASSERT_TRUE(WaitUntil([&] { return View.Endings.size() == 2; }))
        << ::testing::PrintToString(View.Playback);
    EXPECT_EQ(View.Endings, (std::vector<TEnding>{StillPlayingEnding(), CastPlayedEnding()}));
    EXPECT_EQ(View.Playback.back(), "Played to the end \u00b7 0:12");
    const QRegularExpression line(
        "^Section (\\d) \u00b7 0:(\\d\\d)( of 0:12| \\(live\\)) \u00b7 (\\d) sections? buffered "
        "ahead \u00b7 (audio only|game starting|game playing at speed \\d\\.\\d\\d|paused while the next "
        "sections download)$");
    int lastSection = 0;
    int latestSecond = 0;
    bool played = false;
    for (const std::string& shown : View.Playback) {
        const QRegularExpressionMatch match = line.match(QString::fromStdString(shown));
        if (shown == View.Playback.back())
            break;
        ASSERT_TRUE(match.hasMatch()) << shown;
        lastSection = std::max(lastSection, match.captured(1).toInt());
        latestSecond = std::max(latestSecond, match.captured(2).toInt());
        played = played || match.captured(5).startsWith("game playing");
    }
    EXPECT_EQ(lastSection, 3);
    EXPECT_GE(latestSecond, 10);
    EXPECT_TRUE(played);

    // One Stop ends it all: the game, the thread, the rebuilt recording.
    Run->Stop();
    EXPECT_FALSE(Run->Sync());
    EXPECT_FALSE(Run->ViewerThread());
    EXPECT_FALSE(Run->Assembly().RecordingOpen());
    EXPECT_FALSE(Timer.isActive());
    EXPECT_FALSE(StandInRunningIn(GameDirectory()));
}

// A stop serves events while it waits for the download thread; one of them
// asks for the stop again, and later calls find the run ended for good.
TEST_F(ViewingRunTest, AStopAskedForAgainFromItsOwnWaitEndsTheRunOnce) {
    QTcpServer silent; // accepts and never answers: the thread waits in a read
    ASSERT_TRUE(silent.listen(QHostAddress("127.0.0.231"), 28100));
    MakeRun();
    Run->Connect("127.0.0.231", std::chrono::seconds(60));
    ASSERT_TRUE(WaitUntil([&] { return silent.hasPendingConnections(); }));

    int reentered = 0;
    QTimer::singleShot(0, [&] {
        ++reentered;
        Run->Stop();
    });
    Run->Stop();
    EXPECT_EQ(reentered, 1) << "the stop served events while it waited";
    EXPECT_FALSE(Run->ViewerThread());

    // Nothing starts on a run that has ended.
    Run->ChooseGame("LATE", false);
    Run->StartPlayback(0);
    EXPECT_FALSE(Run->Sync());
    Run->Stop();
}

TEST_F(ViewingRunTest, AStartPointBeginsAFreshAssemblyOfTheCast) {
    MakeRun();
    Run->ChooseGame("FINAL", false);
    WriteAll(Run->CastDirectory() + "completed.dat", "0");
    Run->Assembly().DemoStarts().Add(0, 0);
    Run->ViewFromSection(9);
    EXPECT_TRUE(View.Viewing);
    EXPECT_EQ(Run->StartSection(), 9);
    EXPECT_FALSE(std::filesystem::exists(Run->CastDirectory() + "completed.dat"));
    EXPECT_EQ(Run->Assembly().DemoStarts().Count(), 0);
    EXPECT_EQ(Run->Assembly().StartSection(), 9);
}

} // namespace
