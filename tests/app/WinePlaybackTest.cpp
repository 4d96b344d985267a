// The launch users take: the Windows build of the stand-in installed as the
// game in a 64-bit Wine prefix by a 32-bit installer's registry key, started
// by the client's default launcher, Wine.

#include "EventWait.h"
#include "PlaybackJourney.h"
#include "ProcessCheck.h"
#include "WinePrefix.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesSetup.h"
#include "session/ViewingRun.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Where the "installer" puts the game: a space in the path, as under
// "Program Files".
constexpr const char* InstallRoot = "C:\\Games\\NELQ Journey\\Tribes2";
constexpr const char* GameKey = "HKLM\\Software\\Sierra OnLine\\Setup\\Tribes2";
constexpr const char* GameExecutable = "Tribes2DemoPlayback.exe";

class WinePlaybackEndToEnd : public PlaybackEndToEnd {
protected:
    void SetUp() override {
        const std::string standin = (Tools() + "t2-standin/t2-standin.exe").toStdString();
        ASSERT_TRUE(fs::exists(standin))
            << "no " << standin << " (built where i686-w64-mingw32-g++ is found)";
        ASSERT_EQ(BuildTreeWinePrefix().Problem, "");
        Prefix = BuildTreeWinePrefix().Directory;
        setenv("WINEPREFIX", Prefix.c_str(), 1);
        // Every process of the runs carries the mark, Wine's too.
        setenv("NELQ_WINE_JOURNEY", Env.Dir.Path.c_str(), 1);
        Mark = "NELQ_WINE_JOURNEY=" + Env.Dir.Path.string();
        // Z: is the root of the Unix file system in a Wine prefix.
        setenv("T2STANDIN_LOG", ("Z:" + GameLog()).c_str(), 1);
        PlaybackEndToEnd::SetUp();
    }

    void TearDown() override {
        PlaybackEndToEnd::TearDown();
        unsetenv("NELQ_WINE_JOURNEY");
        unsetenv("T2STANDIN_LOG");
    }

    // As a 32-bit installer leaves the game in a 64-bit prefix: the key under
    // Wow6432Node, written by the 32-bit reg.exe. The client uses its default
    // launcher.
    void InstallGame() override {
        const fs::path root = fs::path(Prefix) / "drive_c/Games/NELQ Journey";
        fs::remove_all(root);
        fs::create_directories(GameDirectory());
        fs::copy_file((Tools() + "t2-standin/t2-standin.exe").toStdString(),
                      GameDirectory() + "Tribes2.exe");
        // With the test display: a Wine program started beside this one joins
        // the wineserver this starts, and takes its display from it.
        std::string output;
        ASSERT_EQ(RunInWinePrefix(std::string("wine 'C:\\windows\\syswow64\\reg.exe' add '") +
                                      GameKey + "' /v directory /t REG_SZ /d '" + InstallRoot +
                                      "' /f && wineserver --wait",
                                  output),
                  0)
            << output;
        const std::string registry = ReadAll(Prefix + "/system.reg");
        ASSERT_NE(registry.find("#arch=win64"), std::string::npos) << "not a 64-bit prefix";
        ASSERT_NE(registry.find("[Software\\\\Wow6432Node\\\\Sierra OnLine\\\\Setup\\\\Tribes2]"),
                  std::string::npos);
        fs::remove(Env.SettingsFile());
    }

    std::string GameDirectory() const {
        return Prefix + "/drive_c/Games/NELQ Journey/Tribes2/GameData/";
    }
    // The game processes of this test, the wine launcher before it becomes
    // the game included.
    std::vector<pid_t> Games() const { return ProcessesRunning(GameExecutable, Mark); }
    int Playing(int recording) const {
        return static_cast<int>(
            GameLogText().count(QString("playing NELQ/recordings/nelqdemo%1.rec").arg(recording)));
    }

    // The game's process runs in the game directory and leads its group: what
    // the run ends when it ends.
    pid_t RunningGame() {
        pid_t game = 0;
        EXPECT_TRUE(WaitUntil([&] { return Games().size() == 1; })) << State();
        if (Games().size() == 1)
            game = Games()[0];
        EXPECT_EQ(::getpgid(game), game);
        EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(game) + "/cwd"),
                  fs::canonical(GameDirectory()));
        return game;
    }
    // Nothing of the run is left: no game, no launcher, no process in its
    // group. The prefix's wineserver and Wine's services live in sessions of
    // their own and are left to end by themselves.
    void ExpectEnded(pid_t game) {
        EXPECT_TRUE(Games().empty());
        EXPECT_TRUE(ProcessReaped(game));
        EXPECT_EQ(::kill(-game, 0), -1);
    }

    std::string Prefix;
    std::string Mark;
    TWineSession Session;
};

} // namespace

TEST_F(WinePlaybackEndToEnd, TheGameFoundInThePrefixIsStartedByWineSteeredAndEndedWithTheRun) {
    // The game is found through the prefix's registry; the playback copy is
    // made next to it.
    ASSERT_EQ(Form->CurrentPage(), int(PageLocateTribes2));
    // C: is reached through the prefix's dosdevices link, as Wine does.
    EXPECT_TRUE(fs::equivalent(Form->Locate->EditTribes2Path->text().toStdString(),
                               GameDirectory() + "Tribes2.exe"));
    Form->ExecuteAction(Form->ActionNext);
    ASSERT_EQ(Form->CurrentPage(), int(PageInto));
    EXPECT_TRUE(IsValidGameExecutable(GameDirectory() + GameExecutable));

    StartServer("127.0.0.174");
    const fs::path work = Env.Dir / "work";
    fs::create_directories(work);
    // Two recordings, each long enough for the game to be told its speed.
    Upload(0, MakeCastSection(work, 0, 6000, 6000));
    Upload(1, MakeFakeSection(work, 1, 3000));
    Upload(2, MakeCastSection(work, 2, 30000, 30000));
    Upload(3, MakeFakeSection(work, 3, 3000));
    Complete();

    View();
    ASSERT_TRUE(WaitUntil([&] { return Playing(0) == 1; })) << State();
    const pid_t first = RunningGame();
    // The game takes the speed instructions the client writes.
    ASSERT_TRUE(WaitUntil([&] { return GameLogText().contains("audiosync 1: speed"); })) << State();
    // At its end the game quits; the next recording starts a game of its own.
    ASSERT_TRUE(WaitUntil([&] { return Playing(2) == 1; })) << State();
    EXPECT_TRUE(GameLogText().indexOf("demo complete") < GameLogText().indexOf("nelqdemo2"));
    EXPECT_TRUE(WaitUntil([&] { return ProcessReaped(first); }));
    const pid_t second = RunningGame();
    ASSERT_NE(second, first);

    Boxes.stop(); // the question is answered here
    AnswerMessageBox([&] { Form->ExecuteAction(Form->ActionBack); }, "&Yes");
    Boxes.start();
    ASSERT_EQ(Form->CurrentPage(), int(PageInto));
    ExpectEnded(second);

    // Closing the window ends the next run's game the same way.
    View();
    ASSERT_TRUE(WaitUntil([&] { return Playing(0) == 2; })) << State();
    const pid_t third = RunningGame();
    EXPECT_TRUE(Form->close());
    ExpectEnded(third);
    EXPECT_TRUE(BoxTexts.isEmpty()) << BoxTexts.join('\n').toStdString();
}
