#pragma once

#include "app/GameProcesses.h"
#include "session/GameStarter.h"

#include <string>

class SettingsStore;

// Starts the game the way this machine is set up to: the game scripts in the
// game directory, then the playback executable through the "GameLauncher"
// command (read at each launch). Ends its games with the run that owns it.
class ConfiguredGameStarter : public TGameStarter {
public:
    ConfiguredGameStarter(std::string gameDirectory, const SettingsStore& settings);

    void Launch(int demoNumber) override;
    void EndAll() override;
    bool LatestRunning() const override { return Games.LatestRunning(); }
    int Running() const { return Games.Running(); }

private:
    const std::string GameDirectory;
    const SettingsStore& Settings;
    GameProcesses Games;
};
