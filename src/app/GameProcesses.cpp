#include "app/GameProcesses.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <utility>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Runs in the game's process between fork and exec, so it keeps to calls that
// are safe there. The game leads a group of its own, and takes none of the
// client's descriptors with it: a connection the client closes, or a file it
// writes, must not stay open in the game (and in Wine's helpers) behind its back.
void DetachFromTheClient() {
    ::setpgid(0, 0);
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    rlimit limit{}; // kernels before 5.11: one descriptor at a time
    ::getrlimit(RLIMIT_NOFILE, &limit);
    const rlim_t last = std::min<rlim_t>(limit.rlim_cur, 1 << 16);
    for (rlim_t fd = 3; fd < last; ++fd)
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
}

} // namespace

GameProcesses::GameProcesses(std::chrono::milliseconds grace) : Grace(grace) {}

GameProcesses::~GameProcesses() {
    EndAll();
}

void GameProcesses::Start(const GameLaunchCommand& command) {
    ForgetFinished();
    auto process = std::make_unique<QProcess>();
    process->setProgram(Q(command.Program));
    QStringList arguments;
    for (const std::string& argument : command.Arguments)
        arguments << Q(argument);
    process->setArguments(arguments);
    process->setWorkingDirectory(Q(command.WorkingDirectory));
    // Wine talks a lot on its output; pipes nobody reads would fill and
    // stall the game.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setChildProcessModifier(DetachFromTheClient);
    process->start();
    Latest = nullptr;
    // Once it has started the child runs in its own group, led by itself.
    if (!process->waitForStarted())
        return;
    Latest = process.get();
    const auto group = static_cast<pid_t>(process->processId());
    Games.push_back({std::move(process), group});
}

void GameProcesses::EndAll() {
    ForgetFinished();
    // A game started while this waits belongs to a later run.
    const std::vector<Game> ending = std::exchange(Games, {});
    SignalAll(ending, SIGTERM);
    WaitUntilEnded(ending, Grace);
    SignalAll(ending, SIGKILL);
    // Nothing withstands the kill; this only waits for the reaping.
    WaitUntilEnded(ending, Grace);
}

int GameProcesses::Running() const {
    return static_cast<int>(std::count_if(Games.begin(), Games.end(), [](const Game& game) {
        return game.Process->state() != QProcess::NotRunning;
    }));
}

bool GameProcesses::LatestRunning() const {
    return std::any_of(Games.begin(), Games.end(), [this](const Game& game) {
        return game.Process.get() == Latest && game.Process->state() != QProcess::NotRunning;
    });
}

// Until its leader is reaped the group's number cannot be taken by another
// process; after that the group lives on only while helpers remain in it.
bool GameProcesses::Alive(const Game& game) {
    return game.Process->state() != QProcess::NotRunning || ::kill(-game.Group, 0) == 0;
}

void GameProcesses::SignalAll(const std::vector<Game>& games, int signal) {
    for (const Game& game : games)
        if (Alive(game))
            ::kill(-game.Group, signal);
}

void GameProcesses::WaitUntilEnded(const std::vector<Game>& games,
                                   std::chrono::milliseconds limit) {
    const auto anyAlive = [&games] { return std::any_of(games.begin(), games.end(), Alive); };
    if (!anyAlive())
        return;
    const QDeadlineTimer deadline(limit);
    QEventLoop loop;
    // The helpers in a group are not our children and report no end, so the
    // groups are looked at now and then.
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (!anyAlive() || deadline.hasExpired())
            loop.quit();
    });
    look.start(20);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// A game that quit by itself is never signalled: once reaped, its number may
// lead someone else's group.
void GameProcesses::ForgetFinished() {
    std::erase_if(Games,
                  [](const Game& game) { return game.Process->state() == QProcess::NotRunning; });
}
