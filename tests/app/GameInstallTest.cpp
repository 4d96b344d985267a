#include "ScratchDir.h"
#include "app/UnitGameInstall.h"
#include "BuildTree.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const std::string Fixtures = PeFixtureDirectory();

} // namespace

TEST(GameExecutable, OnlyTheRequiredBuildIsValid) {
    EXPECT_TRUE(IsValidGameExecutable(Fixtures + "/valid.exe"));
    EXPECT_FALSE(IsValidGameExecutable(Fixtures + "/spacing.exe"));
    EXPECT_FALSE(IsValidGameExecutable(Fixtures + "/otherbuild.exe"));
    EXPECT_FALSE(IsValidGameExecutable(Fixtures + "/noversion.exe"));
    EXPECT_FALSE(IsValidGameExecutable(Fixtures + "/missing.exe"));
    EXPECT_EQ(GetFileVersionString(Fixtures + "/missing.exe"), "");
}

TEST(GameExecutable, ThePlaybackCopyIsRecognisedInAnyLetterCase) {
    EXPECT_TRUE(IsPlaybackExecutableName("Tribes2DemoPlayback.exe"));
    EXPECT_TRUE(IsPlaybackExecutableName("TRIBES2DEMOPLAYBACK.EXE"));
    EXPECT_FALSE(IsPlaybackExecutableName("Tribes2.exe"));
    EXPECT_FALSE(IsPlaybackExecutableName("Tribes2DemoPlayback.exe.bak"));
}

TEST(PlaybackCopy, DiffersInOneByteAndKeepsTheVersion) {
    ScratchDir dir;
    const std::string source = dir / "My Tribes Copy.exe"; // any name will do
    fs::copy_file(Fixtures + "/valid.exe", source);
    CreatePlaybackExecutable(source, dir.Path.string() + "/");

    const std::string original = ReadAll(source);
    const std::string copy = ReadAll(dir / PlaybackExecutableName);
    ASSERT_EQ(copy.size(), original.size());
    int differing = 0;
    for (std::size_t i = 0; i < copy.size(); ++i)
        differing += copy[i] != original[i];
    EXPECT_EQ(differing, 1);
    EXPECT_TRUE(IsValidGameExecutable(dir / PlaybackExecutableName));
    EXPECT_FALSE(fs::exists(dir / (std::string(PlaybackExecutableName) + ".partial")));
}

TEST(PlaybackCopy, KeepsThePermissionsOfItsSource) {
    ScratchDir dir;
    for (const fs::perms mode : {fs::perms(0755), fs::perms(0750), fs::perms(0640)}) {
        const std::string source = dir / "Tribes2.exe";
        fs::copy_file(Fixtures + "/valid.exe", source, fs::copy_options::overwrite_existing);
        fs::permissions(source, mode);
        fs::remove(dir / PlaybackExecutableName);
        CreatePlaybackExecutable(source, dir.Path.string() + "/");
        EXPECT_EQ(fs::status(dir / PlaybackExecutableName).permissions(), mode)
            << std::oct << int(mode);
    }
}

TEST(PlaybackCopy, AnExistingCopyIsNeverTouched) {
    ScratchDir dir;
    WriteAll(dir / PlaybackExecutableName, "made earlier");
    CreatePlaybackExecutable(Fixtures + "/valid.exe", dir.Path.string() + "/");
    EXPECT_EQ(ReadAll(dir / PlaybackExecutableName), "made earlier");
}

TEST(PlaybackCopy, FailuresAreReportedAndLeaveNothingBehind) {
    ScratchDir dir;
    EXPECT_THROW(CreatePlaybackExecutable(dir / "absent.exe", dir.Path.string() + "/"),
                 std::runtime_error);
    WriteAll(dir / "tiny.exe", "MZ");
    EXPECT_THROW(CreatePlaybackExecutable(dir / "tiny.exe", dir.Path.string() + "/"),
                 std::runtime_error);
    std::string dosOnly(512, '\0'); // "MZ" whose header offset leads to no "PE" signature
    dosOnly[0] = 'M';
    dosOnly[1] = 'Z';
    dosOnly[0x3C] = 0x40;
    WriteAll(dir / "dos.exe", dosOnly);
    EXPECT_THROW(CreatePlaybackExecutable(dir / "dos.exe", dir.Path.string() + "/"),
                 std::runtime_error);
    try {
        CreatePlaybackExecutable(Fixtures + "/valid.exe", dir / "no-such-dir/");
        FAIL() << "a missing game directory must fail";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("no-such-dir"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(fs::exists(dir / PlaybackExecutableName));
}
