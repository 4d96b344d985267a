#pragma once

#include "BenchGame.h"
#include "app/GameProcesses.h"

#include <QElapsedTimer>

#include <memory>
#include <optional>
#include <string>

// The game as a program of its own, started as the client starts it (the
// scripts written, then the launcher's command with the playback executable
// in the game directory), seen through its "Tribes 2" window. Its demo clock
// is known only from its progress reports: each is read once, as it appears.
class TExternalGame : public TBenchGame {
public:
    TExternalGame(std::string gameDirectory, std::string launcher);

    void Launch(std::int32_t demoNumber) override;
    void Frame() override;
    bool GameWindowExists() override { return FWindowShown; }
    std::int64_t DemoClockMs() override;
    int Launches() const override { return FLaunches; }

    // From the last launch: when its window showed and when its first
    // report came (ms); empty until then.
    std::optional<double> WindowAfterMs() const { return FWindowAfterMs; }
    std::optional<double> FirstReportAfterMs() const { return FFirstReportAfterMs; }

private:
    std::optional<std::int64_t> ReadReport() const;

    const std::string FGameDirectory;
    const std::string FLauncher;
    const std::unique_ptr<GameWindowFinder> FWindows;
    GameProcesses FGames;
    QElapsedTimer FSinceLaunch;
    bool FWindowShown = false;
    std::optional<std::int64_t> FLastReport;
    bool FReportRead = true;
    std::optional<double> FWindowAfterMs;
    std::optional<double> FFirstReportAfterMs;
    int FLaunches = 0;
};
