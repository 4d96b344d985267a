#include "app/UnitFormMain.h"

#include "app/UnitGameLaunch.h"
#include "app/UnitGameScripts.h"

void TFormMain::LaunchGame() {
    // Playback synchronisation keeps the launch's state and watches for
    // the game (UnitFormMainPlayback.cpp).
    const std::string game = GameDirectory.toStdString();
    PrepareGameLaunch(game, PlaybackDemoNumber);

    const QString launcher = Settings->ReadString(SettingsSection, QStringLiteral("GameLauncher"),
                                                  QString::fromStdString(DefaultGameLauncher()));
    const std::optional<GameLaunchCommand> command =
        GameLaunchCommandFor(launcher.toStdString(), game);
    // Without a launcher the game cannot start; the launch check gives up on
    // it, as on a game that never opens its window.
    if (!command)
        return;
    RunningGames.Start(*command);
}
