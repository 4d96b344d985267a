#pragma once

// Starts the game on a rebuilt recording and ends the games a run started.
// The viewing run owns one; how the game is started (a launcher command, a
// stand-in in the tests) is the owner's choice.
class TGameStarter {
public:
    virtual ~TGameStarter() = default;
    // Writes the game's scripts for recording `demoNumber` and starts it.
    virtual void Launch(int demoNumber) = 0;
    // Ends every game started and still running; returns once they are gone.
    virtual void EndAll() = 0;
    // True while the process of the game last launched lives.
    virtual bool LatestRunning() const = 0;
};
