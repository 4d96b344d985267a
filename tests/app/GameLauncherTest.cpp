#include "ScratchDir.h"
#include "app/UnitGameLaunch.h"

#include <cstdlib>
#include <optional>

using Words = std::vector<std::string>;

TEST(GameLauncher, TheSettingIsSplitLikeAShellSplitsWords) {
    EXPECT_EQ(SplitCommandLine("wine"), Words{"wine"});
    EXPECT_EQ(SplitCommandLine("  env   WINEDEBUG=-all\twine  "),
              (Words{"env", "WINEDEBUG=-all", "wine"}));
    EXPECT_EQ(SplitCommandLine("\"/opt/my games/t2 standin\" --clock-drift 0.02"),
              (Words{"/opt/my games/t2 standin", "--clock-drift", "0.02"}));
    EXPECT_EQ(SplitCommandLine("'it''s' a\\ b \"\" ''"), (Words{"its", "a b", "", ""}));
    EXPECT_EQ(SplitCommandLine(R"("say \"hi\" \n$" 'back\slash' \\)"),
              (Words{R"(say "hi" \n$)", R"(back\slash)", "\\"}));
    EXPECT_EQ(SplitCommandLine("x\"y z\"'w'"), Words{"xy zw"});
    EXPECT_EQ(SplitCommandLine("$HOME ~ *"), (Words{"$HOME", "~", "*"})); // no expansions
    EXPECT_TRUE(SplitCommandLine("").empty());
    EXPECT_TRUE(SplitCommandLine(" \t ").empty());
    EXPECT_THROW(SplitCommandLine("\"wine"), std::invalid_argument);
    EXPECT_THROW(SplitCommandLine("wine 'x"), std::invalid_argument);
}

TEST(GameLauncher, TheExecutableAndItsModArgumentsFollowTheLauncher) {
    const std::optional<GameLaunchCommand> command =
        GameLaunchCommandFor("env 'WINEDEBUG=-all' wine", "/games/T2/GameData/");
    ASSERT_TRUE(command);
    EXPECT_EQ(command->Program, "env");
    EXPECT_EQ(command->Arguments,
              (Words{"WINEDEBUG=-all", "wine", "/games/T2/GameData/Tribes2DemoPlayback.exe",
                     "-nologin", "-mod", "NELQ"}));
    EXPECT_EQ(command->WorkingDirectory, "/games/T2/GameData/");

    // An empty launcher cannot start the game.
    EXPECT_FALSE(GameLaunchCommandFor("", "/games/T2/GameData/"));
    EXPECT_FALSE(GameLaunchCommandFor("  ", "/games/T2/GameData/"));
}

TEST(GameLauncher, WineIsTheDefaultOnlyWhenItIsOnThePath) {
    ScratchDir dir;
    const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    WriteAll(dir / "bin/wine", "#!/bin/sh\n");
    WriteAll(dir / "plain/wine", "not executable\n");
    std::filesystem::permissions(dir / "bin/wine", std::filesystem::perms::owner_all);

    setenv("PATH", (dir / "plain" + ":" + dir / "empty").c_str(), 1);
    EXPECT_EQ(DefaultGameLauncher(), "");
    setenv("PATH", (dir / "plain" + ":" + dir / "bin").c_str(), 1);
    EXPECT_EQ(DefaultGameLauncher(), "wine");
    setenv("PATH", savedPath.c_str(), 1);
}
