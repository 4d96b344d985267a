#include "../demo/TestSupport.h"
#include "ChildProcess.h"

#include "demo/UnitRecording.h"
#include "demo/UnitRecordingInfo.h"
#include "platform/FileFinality.h"
#include "BuildTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

namespace {

struct TSeenRecording {
    bool SeenBeingWritten = false; // present and not final
    bool InfoBeforeFinal = false;  // the info file showed up while it was still written
};

TEST(StandinRecord, RecordingsAreWrittenOverTimeAndFinalOnlyWhenClosed) {
    TTempDir dir;
    std::filesystem::create_directory(dir / "recordings");
    const std::string recordings = dir / "recordings";
    TChildProcess standin({StandinProgram(), "record", recordings, "--recordings", "3", "--seconds", "2.5",
                           "--gap", "0.3", "--info", "Time Remaining,Map\\n12:00,Frostbite"},
                          dir / ".", dir / "standin");

    std::map<std::string, TSeenRecording> seen;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const auto& entry : std::filesystem::directory_iterator(recordings)) {
                const std::string path = entry.path().string();
                if (entry.path().extension() != ".rec")
                    continue;
                TSeenRecording& recording = seen[path];
                // Looked at first: an info file seen before the recording is
                // closed is one written too early.
                const bool info = std::filesystem::exists(path + ".log");
                if (!IsFinal(path)) {
                    recording.SeenBeingWritten = true;
                    recording.InfoBeforeFinal |= info;
                }
            }
            return !standin.Running();
        },
        std::chrono::seconds(120)));
    ASSERT_EQ(standin.Wait(std::chrono::seconds(5)), 0) << standin.Errors();

    std::istringstream lines(standin.Output());
    std::vector<std::string> finished;
    for (std::string line; std::getline(lines, line);)
        finished.push_back(line);
    ASSERT_EQ(finished.size(), 3u);
    ASSERT_EQ(seen.size(), 3u);
    for (const std::string& path : finished) {
        SCOPED_TRACE(path);
        ASSERT_EQ(seen.count(path), 1u);
        EXPECT_TRUE(seen[path].SeenBeingWritten);
        EXPECT_FALSE(seen[path].InfoBeforeFinal);
        EXPECT_TRUE(IsFinal(path));

        TFileStream file(path, TFileStream::TMode::OpenRead);
        const TRecordingHead head = ReadRecordingHead(file);
        EXPECT_EQ(head.DurationMs, 2500u);
        TMemoryStream packets;
        InflateRecordingBody(file, packets);
        EXPECT_EQ(MeasureDemoTime(packets.Memory(), packets.ByteSize()), 2500 / 32 * 32);
        EXPECT_TRUE(InflateWithPython(path, static_cast<std::int64_t>(head.Bytes.size())).Complete);
        EXPECT_EQ(ReadRecordingInfo(path, 0).CommaText, "\"Time Remaining\",Map,12:00,Frostbite");
    }
    // Each recording is a game of its own.
    EXPECT_NE(ReadBytes(finished[0]).substr(1054), ReadBytes(finished[1]).substr(1054));
}

TEST(StandinRecord, DefaultInfoCountsDownAndExistingRecordingsAreKept) {
    TTempDir dir;
    WriteBytes(dir / "demo1.rec", "the player's own recording");
    TChildProcess standin({StandinProgram(), "record", dir / ".", "--recordings", "2", "--seconds", "0.3"},
                          dir / ".", dir / "standin");
    ASSERT_EQ(standin.Wait(std::chrono::seconds(60)), 0) << standin.Errors();
    EXPECT_EQ(ReadBytes(dir / "demo1.rec"), "the player's own recording");
    EXPECT_EQ(ReadRecordingInfo(dir / "demo2.rec", 0).Entries,
              (std::vector<std::string>{"Time Remaining", "Map", "00:00", "Katabatic"}));
    EXPECT_TRUE(std::filesystem::exists(dir / "demo3.rec.log"));
}

TEST(StandinRecord, BadArgumentsEndWithAMessage) {
    TTempDir dir;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"record", dir / "missing", "--recordings", "1", "--seconds", "1"},
             {"record", dir / ".", "--recordings", "0", "--seconds", "1"},
             {"record", dir / ".", "--recordings", "1", "--seconds", "0"},
             {"record", dir / ".", "--recordings", "1", "--seconds", "1", "--gap", "-1"},
             {"record", dir / ".", "--recordings", "x", "--seconds", "1"},
             {"record", "--recordings", "1", "--seconds", "1"}}) {
        std::vector<std::string> argv{StandinProgram()};
        argv.insert(argv.end(), args.begin(), args.end());
        TChildProcess standin(argv, dir / ".", dir / "standin");
        EXPECT_EQ(standin.Wait(std::chrono::seconds(30)), 1);
        EXPECT_EQ(standin.Errors().rfind("t2-standin: ", 0), 0u) << standin.Errors();
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "demo1.rec"));
}

} // namespace
