#include "platform/PeVersionReader.h"
#include "BuildTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace {

const std::string Fixtures = PeFixtureDirectory();

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PeScratch : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() /
              ("pe-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = (Dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    fs::path Dir;
};

} // namespace

TEST(PeVersionReader, ReadsTheStringsOfTheVersionResource) {
    EXPECT_EQ(ReadPeVersionString(Fixtures + "/valid.exe", "FileVersion"), "0, 25034, 0, 0");
    EXPECT_EQ(ReadPeVersionString(Fixtures + "/valid.exe", "FileDescription"), "Tribes 2");
    EXPECT_EQ(ReadPeVersionString(Fixtures + "/spacing.exe", "FileVersion"), "0,25034,0,0");
    EXPECT_EQ(ReadPeVersionString(Fixtures + "/otherbuild.exe", "FileVersion"), "0, 25033, 0, 0");
    EXPECT_EQ(ReadPeVersionString(Fixtures + "/valid.exe", "LegalTrademarks"), "");
}

TEST(PeVersionReader, FilesWithoutAVersionAreSimplyEmpty) {
    EXPECT_EQ(ReadPeVersionString(Fixtures + "/noversion.exe", "FileVersion"), "");
    EXPECT_EQ(ReadPeVersionString(Fixtures + "/does-not-exist.exe", "FileVersion"), "");
    EXPECT_EQ(ReadPeVersionString(Fixtures, "FileVersion"), ""); // a directory
}

TEST_F(PeScratch, FilesThatAreNotPeFilesAreEmpty) {
    EXPECT_EQ(ReadPeVersionString(Write("empty.exe", ""), "FileVersion"), "");
    EXPECT_EQ(
        ReadPeVersionString(Write("text.exe", "just some text, not a program\n"), "FileVersion"),
        "");
    // "MZ" with a PE offset far beyond the end.
    std::string dos(64, '\0');
    dos[0] = 'M';
    dos[1] = 'Z';
    dos[0x3C] = '\xFF';
    dos[0x3F] = '\x7F';
    EXPECT_EQ(ReadPeVersionString(Write("dos.exe", dos), "FileVersion"), "");
}

TEST_F(PeScratch, EveryTruncationOfAValidFileIsReadSafely) {
    const std::string whole = Bytes(Fixtures + "/valid.exe");
    ASSERT_GT(whole.size(), 1000u);
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const std::string result =
            ReadPeVersionString(Write("cut.exe", whole.substr(0, length)), "FileVersion");
        EXPECT_TRUE(result.empty() || result == "0, 25034, 0, 0") << "cut at " << length;
    }
}

TEST_F(PeScratch, CorruptBytesNeverCrashOrLoop) {
    const std::string whole = Bytes(Fixtures + "/valid.exe");
    std::mt19937 random(2026);
    std::uniform_int_distribution<std::size_t> position(0, whole.size() - 1);
    std::uniform_int_distribution<int> value(0, 255);
    for (int round = 0; round < 1500; ++round) {
        std::string damaged = whole;
        for (int flips = 1 + round % 8; flips > 0; --flips)
            damaged[position(random)] = static_cast<char>(value(random));
        ReadPeVersionString(Write("bad.exe", damaged), "FileVersion");
    }
    // All 0xFF in the headers: huge counts, sizes and offsets everywhere.
    std::string saturated = whole;
    std::fill(saturated.begin() + 0x40, saturated.begin() + 0x400, '\xFF');
    EXPECT_EQ(ReadPeVersionString(Write("ff.exe", saturated), "FileVersion"), "");
}
