// The games a run starts, as real process groups of /bin/sh scripts started
// through the launcher: each ends with the run, politely first and by force
// after the grace, and nothing is left behind.

#include "app/GameProcesses.h"
#include "ProcessCheck.h"
#include "QtTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <functional>

using namespace std::chrono_literals;

namespace {

// Serves events until `done` holds; false after a generous deadline.
bool ServeEventsUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(30000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    return true;
}

// The process number a script wrote to `path`, once it is there; 0 if never.
pid_t WaitForPid(const std::string& path) {
    pid_t pid = 0;
    ServeEventsUntil([&] {
        pid = static_cast<pid_t>(std::atoi(ReadAll(path).c_str()));
        return pid > 0;
    });
    return pid;
}

enum class Outcome { QuitsByItself, EndsWhenAsked, KilledAfterGrace };

struct GameCase {
    const char* Name;
    // Set before the game writes its number to "leader", so that a TERM
    // sent once it is there finds it; "asked" notes a TERM.
    const char* Trap;
    // Run by sh in the game directory after that; a helper writes its own
    // number to "helper".
    const char* Script;
    bool HasHelper;
    Outcome Expected;
};

const GameCase Cases[] = {
    {"quits at the end of its recording", "", "exit 0", false, Outcome::QuitsByItself},
    {"quits when asked, with its helper", "", "sleep 300 & echo $! > helper; wait", true,
     Outcome::EndsWhenAsked},
    {"ignores the request", "trap \"echo > asked\" TERM; ", "while :; do sleep 0.1; done", false,
     Outcome::KilledAfterGrace},
    {"quits when asked but its helper does not", "trap \"echo > asked; exit\" TERM; ",
     "(trap \"\" TERM; sh -c \"echo \\$PPID > helper\"; exec sleep 300) & "
     "while :; do sleep 0.1; done",
     true, Outcome::KilledAfterGrace},
};

} // namespace

TEST(GameProcesses, EachGameEndsWithTheRunOrIsReapedWhenItQuits) {
    EnsureApplication();
    const ScratchDir scratch;
    for (const GameCase& game : Cases) {
        SCOPED_TRACE(game.Name);
        const std::string dir = scratch / game.Name + "/";
        std::filesystem::create_directories(dir);
        // The polite cases get a grace they must never need. A shell runs its
        // trap only once the command in the foreground has ended: the others
        // get time enough for that on a loaded machine.
        const auto grace = game.Expected == Outcome::KilledAfterGrace ? 3000ms : 30000ms;
        GameProcesses games(grace);
        games.Start(*GameLaunchCommandFor(std::string("/bin/sh -c '") + game.Trap +
                                              "echo $$ > leader; " + game.Script + "' game",
                                          dir));
        const pid_t leader = WaitForPid(dir + "leader");
        const pid_t helper = game.HasHelper ? WaitForPid(dir + "helper") : 0;
        ASSERT_GT(leader, 0);
        ASSERT_EQ(helper > 0, game.HasHelper);

        if (game.Expected == Outcome::QuitsByItself) {
            EXPECT_TRUE(ServeEventsUntil([&] { return ProcessReaped(leader); }));
            EXPECT_EQ(games.Running(), 0);
            EXPECT_FALSE(games.LatestRunning());
            continue;
        }
        EXPECT_EQ(games.Running(), 1);
        EXPECT_TRUE(games.LatestRunning());
        QElapsedTimer took;
        took.start();
        games.EndAll();
        EXPECT_TRUE(ProcessReaped(leader));
        if (helper) {
            EXPECT_TRUE(ProcessEnded(helper));
        }
        EXPECT_EQ(games.Running(), 0);
        EXPECT_FALSE(games.LatestRunning());
        if (game.Expected == Outcome::EndsWhenAsked) {
            EXPECT_LT(took.elapsed(), grace.count());
        } else {
            EXPECT_TRUE(std::filesystem::exists(dir + "asked")) << "no polite request first";
            EXPECT_GE(took.elapsed(), grace.count());
        }
    }
}

// What the launch check asks: the game last started, not any game of the run.
TEST(GameProcesses, TheLatestGameIsTheOneLastStartedEvenWhenItCouldNotStart) {
    EnsureApplication();
    const ScratchDir scratch;
    GameProcesses games(3000ms);
    games.Start(*GameLaunchCommandFor("/bin/sleep 300", scratch / ""));
    EXPECT_TRUE(games.LatestRunning());
    games.Start(*GameLaunchCommandFor(scratch / "no-such-launcher", scratch / ""));
    EXPECT_FALSE(games.LatestRunning());
    EXPECT_EQ(games.Running(), 1);
}

// A game takes none of the client's descriptors: a connection or file the
// client holds open (even without close-on-exec) is not open in the game.
TEST(GameProcesses, AGameInheritsNoneOfTheClientsDescriptors) {
    EnsureApplication();
    const ScratchDir scratch;
    const std::string dir = scratch / "descriptors/";
    std::filesystem::create_directories(dir);
    const int held = ::open((dir + "held").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(held, 3);
    GameProcesses games;
    games.Start(*GameLaunchCommandFor(
        "/bin/sh -c 'ls /proc/$$/fd > open.tmp; mv open.tmp open; exec sleep 300' game", dir));
    ASSERT_TRUE(ServeEventsUntil([&] { return std::filesystem::exists(dir + "open"); }));
    const std::string open = "\n" + ReadAll(dir + "open");
    EXPECT_EQ(open.find("\n" + std::to_string(held) + "\n"), std::string::npos) << open;
    games.EndAll();
    ::close(held);
}
