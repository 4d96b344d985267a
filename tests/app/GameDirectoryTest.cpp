#include "ScratchDir.h"
#include "app/UnitNELQGlobal.h"

#include <cstdlib>

namespace {

// Points the Wine prefix and the client's home at the scratch directory.
class GameDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("WINEPREFIX", (Dir / "wine").c_str(), 1);
        std::filesystem::create_directories(Dir.Path / "wine" / "drive_c");
    }
    void TearDown() override {
        unsetenv("WINEPREFIX");
        unsetenv("NELQ_HOME");
    }

    ScratchDir Dir;
};

} // namespace

TEST_F(GameDirectoryTest, UsesTheInstallersRecordMappedIntoThePrefix) {
    WriteAll(Dir / "wine/system.reg", "WINE REGISTRY Version 2\n\n"
                                      "[Software\\\\Sierra OnLine\\\\Setup\\\\Tribes2] 1\n"
                                      "\"directory\"=\"C:\\\\Games\\\\T2\"\n");
    const GameDirectories found = LocateGameDirectory("");
    EXPECT_EQ(found.DefaultGameDirectory, Dir / "wine/drive_c/Games/T2/GameData/");
    EXPECT_EQ(found.GameDirectory, found.DefaultGameDirectory);
}

TEST_F(GameDirectoryTest, FallsBackWithoutAKeyAndKeepsTheUsersChoice) {
    EXPECT_EQ(LocateGameDirectory("").DefaultGameDirectory,
              Dir / "wine/drive_c/Dynamix/Tribes2/GameData/");
    EXPECT_EQ(LocateGameDirectory("/opt/t2/GameData").GameDirectory, "/opt/t2/GameData/");

    // A key without the value gives a directory that will not validate.
    WriteAll(Dir / "wine/system.reg", "[Software\\\\Sierra OnLine\\\\Setup\\\\Tribes2] 1\n");
    EXPECT_EQ(LocateGameDirectory("").DefaultGameDirectory, "\\GameData\\");
}

TEST_F(GameDirectoryTest, AppDirectoryFollowsNelqHomeAndStreamsAreCreated) {
    setenv("NELQ_HOME", (Dir / "home").c_str(), 1);
    EXPECT_EQ(ComputeAppDirectory(), Dir / "home/");
    EXPECT_EQ(PrepareStreamsDirectory(ComputeAppDirectory()), Dir / "home/streams/");
    EXPECT_TRUE(std::filesystem::is_directory(Dir / "home/streams"));
    EXPECT_EQ(ClientVersion(), "1.0.0.47");
}

TEST_F(GameDirectoryTest, OnlyAWritableDirectoryOutsideTheSystemsProgramsIsPortable) {
    std::filesystem::create_directories(Dir / "portable");
    const std::vector<std::pair<std::string, bool>> cases = {
        {Dir / "portable", true}, {Dir / "missing", false},  {"/usr/bin", false},
        {"/usr/local/bin/", false}, {"/usr", false},          {"/bin", false},
        {"/sbin", false},
    };
    for (const auto& [directory, portable] : cases)
        EXPECT_EQ(IsPortableDirectory(directory), portable) << directory;
}
