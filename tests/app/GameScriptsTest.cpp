#include "ScratchDir.h"
#include "app/UnitGameScripts.h"
#include "app/UnitTextLines.h"

#include <algorithm>

namespace {

bool Defines(const std::vector<std::string>& script, const std::string& function) {
    return std::any_of(script.begin(), script.end(), [&](const std::string& line) {
        return line.rfind("function " + function + "(", 0) == 0;
    });
}

} // namespace

TEST(GameScripts, TheLaunchWritesBothScriptsWithTheRecordingOnLine8) {
    ScratchDir dir;
    const std::string game = dir / "GameData/";
    WriteAll(game + "NELQ/demoprog.txt", "123000\r\n"); // left by the previous game
    PrepareGameLaunch(game, 3);

    EXPECT_FALSE(std::filesystem::exists(game + "NELQ/demoprog.txt"));
    const std::vector<std::string> start = ReadTextLines(game + "NELQ/scripts/TrainingGui.cs");
    ASSERT_EQ(start.size(), GSStringListExecDemo().size());
    EXPECT_EQ(start[8], "%file = \"recordings/nelqdemo3.rec\";");
    for (std::size_t i = 0; i < start.size(); ++i) {
        if (i == 8)
            continue;
        EXPECT_EQ(start[i], GSStringListExecDemo()[i]) << "line " << i;
    }
    EXPECT_EQ(ReadTextLines(game + "NELQ/scripts/recordings.cs"), GSStringListRecordings());
    EXPECT_NE(ReadAll(game + "NELQ/scripts/recordings.cs").find("\r\n"), std::string::npos);

    // The next launch rewrites the line for its own recording.
    PrepareGameLaunch(game, 12);
    EXPECT_EQ(ReadTextLines(game + "NELQ/scripts/TrainingGui.cs")[8],
              "%file = \"recordings/nelqdemo12.rec\";");
}

TEST(GameScripts, TheScriptsDefineWhatTheGameAndTheClientRelyOn) {
    const auto& start = GSStringListExecDemo();
    ASSERT_GT(start.size(), DemoFileLineIndex);
    // The line the launch replaces is the start script's demo line.
    EXPECT_EQ(start[DemoFileLineIndex].rfind("%file = \"recordings/nelqdemo", 0), 0u);
    EXPECT_TRUE(Defines(start, "PlayOffline"));

    const auto& support = GSStringListRecordings();
    for (const char* function :
         {"msToMinSec", "DemoLoadProgressDlg::onWake", "demoUpdateDatablockProgress",
          "resetGameState", "loadDemoSettings", "getDemoValue", "setState", "demoPlaybackComplete",
          "toggleDemoPlaybackHud", "restoreTimeScale", "checkSyncFile", "demoPlaybackUpdate",
          "updateDemoPlaybackStatus", "DemoPlaybackDlg::onWake"})
        EXPECT_TRUE(Defines(support, function)) << function;
}

TEST(GameScripts, AScriptThatCannotBeWrittenStopsTheLaunch) {
    ScratchDir dir;
    const std::string game = dir / "GameData/";
    WriteAll(game + "NELQ/scripts", "a file where the directory belongs");
    EXPECT_THROW(PrepareGameLaunch(game, 0), std::runtime_error);
}
