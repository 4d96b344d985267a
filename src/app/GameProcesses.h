#pragma once

#include "app/UnitGameLaunch.h"

#include <QProcess>

#include <chrono>
#include <memory>
#include <vector>

// The games a viewing run has started. Each runs in a process group of its
// own, so that ending it also ends the helper processes Wine starts for it.
// A game that quits by itself (at the end of its recording) is reaped and
// forgotten; the others are ended together when the run ends.
class GameProcesses {
public:
    static constexpr std::chrono::milliseconds DefaultGrace{3000};

    explicit GameProcesses(std::chrono::milliseconds grace = DefaultGrace);
    ~GameProcesses();
    GameProcesses(const GameProcesses&) = delete;
    GameProcesses& operator=(const GameProcesses&) = delete;

    // Starts the game with the client's own output channels and no input. A
    // game that cannot start is not kept; the launch check notices it.
    void Start(const GameLaunchCommand& command);

    // Asks every running game to quit, gives them the grace to do so, then
    // kills what is left. Events are served meanwhile (user input waits); on
    // return every game is gone and reaped.
    void EndAll();

    // Games still running; those that quit are reaped once events are served.
    int Running() const;
    // True while the game last started runs.
    bool LatestRunning() const;

private:
    struct Game {
        std::unique_ptr<QProcess> Process;
        pid_t Group = 0;
    };
    static bool Alive(const Game& game);
    static void SignalAll(const std::vector<Game>& games, int signal);
    // Serves events until no game is alive or the limit has passed.
    static void WaitUntilEnded(const std::vector<Game>& games, std::chrono::milliseconds limit);
    void ForgetFinished();

    std::chrono::milliseconds Grace;
    std::vector<Game> Games;
    const QProcess* Latest = nullptr; // compared only, never used: it may be gone
};
