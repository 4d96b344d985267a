// The client's start script and the game stand-in that reads it must agree
// on the line that names the demo, or the stand-in plays nothing the client
// rebuilt.

#include "GameFiles.h"
#include "ScratchDir.h"
#include "app/UnitGameScripts.h"

TEST(StartScriptAgreement, TheStandInReadsTheRecordingTheLaunchNames) {
    ScratchDir dir;
    const std::string game = dir / "GameData/";
    for (const int demo : {0, 7, 1024}) {
        PrepareGameLaunch(game, demo);
        EXPECT_EQ(DemoFileOfStartScript(ReadAll(game + "NELQ/scripts/TrainingGui.cs")),
                  "recordings/nelqdemo" + std::to_string(demo) + ".rec");
    }
}
