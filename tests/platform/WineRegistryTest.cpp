#include "platform/WineRegistry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class WinePrefix : public ::testing::Test {
protected:
    void SetUp() override {
        Prefix = fs::temp_directory_path() /
                 ("wine-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(Prefix / "drive_c");
    }
    void TearDown() override { fs::remove_all(Prefix); }

    void WriteSystemReg(const std::string& body) {
        std::ofstream(Prefix / "system.reg")
            << "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
            << body;
    }

    fs::path Prefix;
};

} // namespace

TEST_F(WinePrefix, FindsAStringValueIgnoringCaseAndUnescapingIt) {
    WriteSystemReg("[Software\\\\Other] 1600000000\n\"directory\"=\"C:\\\\Wrong\"\n\n"
                   "[Software\\\\Sierra OnLine\\\\Setup\\\\Tribes2] 1600000000\n"
                   "#time=1d7a8b9c0d1e2f3\n"
                   "\"Version\"=dword:00000001\n"
                   "\"Directory\"=\"C:\\\\Dynamix\\\\Tribes2\"\n\n");
    const auto value = ReadMachineRegistryString(
        Prefix.string(), "software\\sierra online\\setup\\tribes2", "directory");
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, "C:\\Dynamix\\Tribes2");
}

TEST_F(WinePrefix, DecodesWinesEscapesForCharactersOutsideAscii) {
    WriteSystemReg("[Software\\\\Sierra OnLine\\\\Setup\\\\Tribes2] 1\n"
                   "\"directory\"=\"C:\\\\Jeux\\\\Caf\\x00e9 \\\"T2\\\"\\tx\"\n");
    const auto value = ReadMachineRegistryString(
        Prefix.string(), "Software\\Sierra OnLine\\Setup\\Tribes2", "directory");
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, "C:\\Jeux\\Caf\xC3\xA9 \"T2\"\tx");
}

TEST_F(WinePrefix, LooksUnderWow6432NodeAndTellsAMissingValueFromAMissingKey) {
    WriteSystemReg("[Software\\\\Wow6432Node\\\\Sierra OnLine\\\\Setup\\\\Tribes2] 1\n"
                   "\"other\"=\"x\"\n");
    const auto value = ReadMachineRegistryString(
        Prefix.string(), "Software\\Sierra OnLine\\Setup\\Tribes2", "directory");
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, "");
    EXPECT_FALSE(ReadMachineRegistryString(Prefix.string(), "Software\\Nobody", "directory"));
    fs::remove(Prefix / "system.reg");
    EXPECT_FALSE(ReadMachineRegistryString(Prefix.string(),
                                           "Software\\Sierra OnLine\\Setup\\Tribes2", "directory"));
}

TEST_F(WinePrefix, MapsWindowsPathsIntoThePrefixMatchingExistingFoldersWithoutCase) {
    fs::create_directories(Prefix / "drive_c" / "Dynamix" / "Tribes2" / "GameData");
    EXPECT_EQ(MapWindowsPath(Prefix.string(), "C:\\DYNAMIX\\tribes2\\gamedata\\"),
              (Prefix / "drive_c" / "Dynamix" / "Tribes2" / "GameData").string() + "/");
    // With Wine's drive links the link is followed, not drive_c.
    fs::create_directories(Prefix / "dosdevices");
    fs::create_directories(Prefix / "elsewhere" / "Games");
    fs::create_directory_symlink(Prefix / "elsewhere", Prefix / "dosdevices" / "d:");
    EXPECT_EQ(MapWindowsPath(Prefix.string(), "D:\\games\\New"),
              (Prefix / "dosdevices" / "d:" / "Games" / "New").string());
    EXPECT_EQ(MapWindowsPath(Prefix.string(), "\\GameData\\"), "\\GameData\\");
}

TEST_F(WinePrefix, DotDotStopsAtTheDrivesRootAsOnWindows) {
    fs::create_directories(Prefix / "drive_c" / "Dynamix" / "GameData");
    const std::string drive = (Prefix / "drive_c").string();
    EXPECT_EQ(MapWindowsPath(Prefix.string(), "C:\\..\\..\\tmp\\x"), drive + "/tmp/x");
    EXPECT_EQ(MapWindowsPath(Prefix.string(), "C:/../.."), drive);
    EXPECT_EQ(
        MapWindowsPath(Prefix.string(), "c:\\dynamix\\x\\..\\.\\gamedata\\..\\..\\..\\Dynamix\\"),
        drive + "/Dynamix/");
    // Through a drive link as well: the link's own directory is the root.
    fs::create_directories(Prefix / "dosdevices");
    fs::create_directories(Prefix / "elsewhere");
    fs::create_directory_symlink(Prefix / "elsewhere", Prefix / "dosdevices" / "e:");
    EXPECT_EQ(MapWindowsPath(Prefix.string(), "E:\\..\\..\\etc"),
              (Prefix / "dosdevices" / "e:" / "etc").string());
}
