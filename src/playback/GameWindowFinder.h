#pragma once

#include <memory>

// Tells whether the game is running: a top-level window titled exactly
// "Tribes 2", found by its title alone.
class GameWindowFinder {
public:
    static constexpr const char* GameWindowTitle = "Tribes 2";

    virtual ~GameWindowFinder() = default;
    virtual bool GameWindowExists() = 0;
};

// The finder of this platform's window system.
std::unique_ptr<GameWindowFinder> MakeGameWindowFinder();
