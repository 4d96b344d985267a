#include "app/ConfiguredGameStarter.h"

#include "app/UnitGameScripts.h"
#include "app/UnitSettingsStore.h"

#include <optional>

ConfiguredGameStarter::ConfiguredGameStarter(std::string gameDirectory,
                                             const SettingsStore& settings)
    : GameDirectory(std::move(gameDirectory)), Settings(settings) {}

void ConfiguredGameStarter::Launch(int demoNumber) {
    // Playback synchronisation keeps the launch's state and watches for the game.
    PrepareGameLaunch(GameDirectory, demoNumber);
    const QString launcher =
        Settings.ReadString(SettingsSection, QStringLiteral("GameLauncher"),
                            QString::fromStdString(DefaultGameLauncher()));
    const std::optional<GameLaunchCommand> command =
        GameLaunchCommandFor(launcher.toStdString(), GameDirectory);
    // Without a launcher the game cannot start; the launch check gives up on
    // it, as on a game that never opens its window.
    if (command)
        Games.Start(*command);
}

void ConfiguredGameStarter::EndAll() {
    Games.EndAll();
}
