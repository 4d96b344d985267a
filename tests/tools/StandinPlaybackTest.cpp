#include "../demo/TestSupport.h"
#include "BuildTree.h"
#include "ChildProcess.h"
#include "RebuiltRecordingWriter.h"
#include "WinePrefix.h"
#include "platform/PeVersionReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace {

const std::string Standin = StandinProgram();
const std::string WindowsStandin = Standin + ".exe";

// Why the Windows stand-in cannot run under Wine here; empty when it can.
std::string WineProblem() {
    if (!std::filesystem::exists(WindowsStandin))
        return "no " + WindowsStandin + " (built where i686-w64-mingw32-g++ is found)";
    return BuildTreeWinePrefix().Problem;
}

// The game as the client starts it: the Linux stand-in behind its launcher
// words, or the Windows stand-in installed as the game's executable and run
// by Wine.
struct TGameBuild {
    const char* Name;
    bool UnderWine;
};
void PrintTo(const TGameBuild& build, std::ostream* out) {
    *out << build.Name;
}

// A game directory as the client leaves it before starting the game.
class StandinPlayback : public ::testing::TestWithParam<TGameBuild> {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr)
            GTEST_SKIP() << "no X display (scripts/test provides one)";
        if (GetParam().UnderWine) {
            ASSERT_EQ(WineProblem(), "");
            Session.emplace();
            std::filesystem::copy_file(WindowsStandin, Dir / "Tribes2DemoPlayback.exe");
        }
        std::filesystem::create_directories(Dir / "NELQ/scripts");
        std::filesystem::create_directories(Dir / "NELQ/recordings");
        WriteStartScript("%file = \"recordings/nelqdemo3.rec\";");
        WriteBytes(Dir / "NELQ/audiosync.txt", "0\r\n");
    }

    void WriteStartScript(const std::string& line8) {
        WriteBytes(Dir / "NELQ/scripts/TrainingGui.cs",
                   "function PlayOffline()\r\n{\r\n   if ($DoneDemoStream)\r\n   {\r\n      quit();"
                   "\r\n      return;\r\n   }\r\n   $DoneDemoStream = true;\r\n" +
                       line8 + "\r\n   %verLen = getDemoVersionLength(%file);\r\n}\r\n");
    }

    // The stand-in's own options may stand anywhere among the game's.
    std::unique_ptr<TChildProcess> StartGame(const std::vector<std::string>& options = {}) {
        std::vector<std::string> argv{GetParam().UnderWine ? BuildTreeWinePrefix().Wine : Standin,
                                      Dir / "Tribes2DemoPlayback.exe"};
        argv.insert(argv.end(), options.begin(), options.end());
        for (const char* arg : {"-nologin", "-mod", "NELQ"})
            argv.push_back(arg);
        return std::make_unique<TChildProcess>(argv, Dir / ".", Dir / "standin");
    }

    // demoprog.txt as a number; -1 while it is missing or not a whole line.
    std::int64_t Progress() const {
        const std::string text = ReadBytes(Dir / "NELQ/demoprog.txt");
        if (text.size() < 3 || text.substr(text.size() - 2) != "\r\n")
            return -1;
        return std::stoll(text);
    }

    static bool TribesWindowShown() {
        return RunCommand("xwininfo -root -tree").Output.find("\"Tribes 2\": (") !=
               std::string::npos;
    }

    std::optional<TWineSession> Session;
    TTempDir Dir;
};

TEST_P(StandinPlayback, PlaysTheGrowingDemoFollowsSpeedInstructionsAndQuitsAtItsEnd) {
    TGeneratorOptions options;
    options.DurationMs = 8000;
    const TGeneratedRecording recording = GenerateRecordingBytes(options);
    TRebuiltRecordingWriter writer(Dir / "NELQ/recordings/nelqdemo3.rec", recording);
    writer.Append(GeneratePacketStream(8000, 1));

    auto game = StartGame();
    ASSERT_TRUE(WaitUntil([&] { return TribesWindowShown() || !game->Running(); }));
    ASSERT_TRUE(TribesWindowShown()) << game->Errors();
    ASSERT_TRUE(WaitUntil([&] { return Progress() > 0; })) << game->Errors();
    const std::int64_t first = Progress();
    ASSERT_TRUE(WaitUntil([&] { return Progress() > first; }));

    // A pause for buffering: taken at the next progress report, then the clock stands.
    WriteBytes(Dir / "NELQ/audiosync.txt", "1\r\n0.000\tBUFFERING\r\n");
    ASSERT_TRUE(WaitUntil([&] {
        return game->Output().find("audiosync 1: speed 0.000 BUFFERING") != std::string::npos;
    })) << game->Output();
    // Standing still can only be seen over time: longer than a progress step.
    const std::int64_t paused = Progress();
    EXPECT_FALSE(WaitUntil([&] { return Progress() != paused; }, std::chrono::milliseconds(800)));

    // While paused every update reads the file, so the resume comes at once.
    WriteBytes(Dir / "NELQ/audiosync.txt", "2\r\n2.000\tNELQ\r\n");
    ASSERT_TRUE(WaitUntil([&] { return Progress() > paused; }));
    EXPECT_NE(game->Output().find("audiosync 2: speed 2.000 NELQ"), std::string::npos);
    EXPECT_TRUE(game->Running()); // the recording is not finished yet

    writer.Append(GeneratePacketStream(1600, 2));
    writer.Finish();
    ASSERT_EQ(game->Wait(std::chrono::seconds(60)), 0) << game->Errors();
    EXPECT_NE(game->Output().find("demo complete at 9600 ms"), std::string::npos) << game->Output();
    EXPECT_GT(Progress(), 9600 - 600);
    EXPECT_TRUE(WaitUntil([] { return !TribesWindowShown(); }));
}

TEST_P(StandinPlayback, ClockDriftAndTheIdleEndOfAnUnfinishedRecording) {
    TGeneratorOptions options;
    options.DurationMs = 1600;
    const TGeneratedRecording recording = GenerateRecordingBytes(options);
    // Never finished: the game ends once nothing more arrives.
    TFileStream file(Dir / "NELQ/recordings/nelqdemo3.rec", TFileStream::TMode::Create);
    file.WriteBuffer(recording.Head.data(), recording.Head.size());
    file.WriteBuffer(recording.Body.data(), recording.Body.size() - 4); // no checksum

    auto game = StartGame({"--clock-drift", "0.5", "--idle-end", "1"});
    ASSERT_EQ(game->Wait(std::chrono::seconds(60)), 0) << game->Errors();
    EXPECT_NE(game->Output().find("demo complete at 1600 ms"), std::string::npos) << game->Output();
}

TEST_P(StandinPlayback, ADemoThatCannotBePlayedIsReported) {
    for (const std::string& line8 :
         {std::string("%file = \"../../outside.rec\";"), std::string("%file = \"/etc/hosts\";")}) {
        WriteStartScript(line8);
        auto game = StartGame();
        EXPECT_EQ(game->Wait(std::chrono::seconds(30)), 1);
        EXPECT_NE(game->Errors().find("Demo playback failed for file '"), std::string::npos)
            << game->Errors();
        EXPECT_NE(game->Errors().find("outside the mod directory"), std::string::npos)
            << game->Errors();
    }
    WriteStartScript("   %verLen = 0;");
    auto game = StartGame();
    EXPECT_EQ(game->Wait(std::chrono::seconds(30)), 1);
    EXPECT_NE(game->Errors().find("line 8"), std::string::npos) << game->Errors();
    EXPECT_FALSE(std::filesystem::exists(Dir / "NELQ/demoprog.txt"));
}

// The Windows build is tested in the full tree only: no sanitizer sees inside
// Wine, so the sanitizer trees would repeat the same run.
#ifdef NELQ_WINE_TESTS
INSTANTIATE_TEST_SUITE_P(Builds, StandinPlayback,
                         ::testing::Values(TGameBuild{"Linux", false}, TGameBuild{"Wine", true}),
                         [](const auto& info) { return std::string(info.param.Name); });
#else
INSTANTIATE_TEST_SUITE_P(Builds, StandinPlayback, ::testing::Values(TGameBuild{"Linux", false}),
                         [](const auto& info) { return std::string(info.param.Name); });
#endif

TEST(StandinWithoutDisplay, SaysSoAndFails) {
    TTempDir dir;
    const TCommandResult result =
        RunCommand("cd '" + dir / "." + "' && env -u DISPLAY '" + Standin +
                   "' Tribes2DemoPlayback.exe -nologin -mod NELQ 2>&1");
    EXPECT_EQ(result.Status, 2);
    EXPECT_NE(result.Output.find("cannot open the X display"), std::string::npos) << result.Output;
}

#ifdef NELQ_WINE_TESTS
TEST(StandinWithoutDisplay, UnderWineSaysSoAndFails) {
    ASSERT_EQ(WineProblem(), "");
    TTempDir dir;
    const TWineSession alone(TWineSession::TUse::WithoutDisplay);
    const TCommandResult underWine = RunCommand("cd '" + dir / "." + "' && env -u DISPLAY wine '" +
                                                WindowsStandin + "' -nologin -mod NELQ 2>&1");
    EXPECT_EQ(underWine.Status, 2);
    EXPECT_NE(underWine.Output.find("cannot create the game window"), std::string::npos)
        << underWine.Output;
}

// The client accepts the Windows stand-in as the playback executable by this.
TEST(WindowsStandin, CarriesTheGamesVersion) {
    ASSERT_EQ(WineProblem(), "");
    EXPECT_EQ(ReadPeVersionString(WindowsStandin, "FileVersion"), "0, 25034, 0, 0");
    EXPECT_EQ(ReadPeVersionString(WindowsStandin, "ProductName"), "Tribes 2");
}
#endif

} // namespace
