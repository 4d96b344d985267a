#include "ExternalGame.h"

#include "app/UnitGameLaunch.h"
#include "app/UnitGameScripts.h"
#include "playback/GameSyncFiles.h"

TExternalGame::TExternalGame(std::string gameDirectory, std::string launcher)
    : FGameDirectory(std::move(gameDirectory)), FLauncher(std::move(launcher)),
      FWindows(MakeGameWindowFinder()) {}

void TExternalGame::Launch(std::int32_t demoNumber) {
    PrepareGameLaunch(FGameDirectory, demoNumber);
    FSinceLaunch.start();
    FWindowAfterMs.reset();
    FFirstReportAfterMs.reset();
    FLastReport.reset();
    FGames.Start(*GameLaunchCommandFor(FLauncher, FGameDirectory));
    ++FLaunches;
}

void TExternalGame::Frame() {
    // The window is looked for as playback does, but on every frame: the
    // figures want the moment it shows.
    FWindowShown = FWindows->GameWindowExists();
    if (FWindowShown && !FWindowAfterMs && FSinceLaunch.isValid())
        FWindowAfterMs = static_cast<double>(FSinceLaunch.nsecsElapsed()) / 1e6;
    const std::optional<std::int64_t> report = ReadReport();
    if (!report || report == FLastReport)
        return;
    if (!FFirstReportAfterMs)
        FFirstReportAfterMs = static_cast<double>(FSinceLaunch.nsecsElapsed()) / 1e6;
    FLastReport = report;
    FReportRead = false;
}

std::int64_t TExternalGame::DemoClockMs() {
    if (FReportRead || !FLastReport)
        return -1;
    FReportRead = true;
    return *FLastReport;
}

std::optional<std::int64_t> TExternalGame::ReadReport() const {
    // Written the moment the game's clock reaches it: the clock then.
    const std::optional<std::int64_t> reported = ReadDemoProgress(FGameDirectory);
    if (!reported || *reported <= 0)
        return std::nullopt;
    return reported;
}
