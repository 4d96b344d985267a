#include "TestSupport.h"

#include <gtest/gtest.h>

#include "demo/UnitBZip2.h"
#include "demo/UnitStreams.h"
#include "BuildTree.h"

#include <filesystem>
#include <map>
#include <sstream>

namespace {

const std::string Tool = RecProgram();

struct TToolRun {
    int Status;
    std::map<std::string, std::string> Values; // key=value lines
    std::string Errors;
};

TToolRun RunTool(const TTempDir& dir, const std::string& arguments) {
    const TCommandResult result =
        RunCommand("'" + Tool + "' " + arguments + " 2>'" + dir / "stderr" + "'");
    TToolRun run{result.Status, {}, ReadBytes(dir / "stderr")};
    std::istringstream lines(result.Output);
    for (std::string line; std::getline(lines, line);)
        if (const auto eq = line.find('='); eq != std::string::npos)
            run.Values[line.substr(0, eq)] = line.substr(eq + 1);
    return run;
}

std::int64_t Number(const TToolRun& run, const std::string& key) {
    const auto it = run.Values.find(key);
    return it == run.Values.end() ? -1 : std::stoll(it->second);
}

TEST(NelqRec, GeneratedRecordingsHaveTheGamesLayout) {
    TTempDir dir;
    const std::string rec = dir / "g.rec";
    ASSERT_EQ(RunTool(dir, "generate '" + rec +
                               "' --duration-ms 20000 --initial-block 500 --seed 3"
                               " --info 'Time Remaining,Map\\n05:00,Katabatic'")
                  .Status,
              0);
    const TToolRun info = RunTool(dir, "info '" + rec + "'");
    ASSERT_EQ(info.Status, 0) << info.Errors;
    EXPECT_EQ(Number(info, "duration_ms"), 20000);
    EXPECT_EQ(Number(info, "initial_block_length"), 500);
    EXPECT_EQ(Number(info, "head_bytes"), 530);
    EXPECT_EQ(Number(info, "demo_time_ms"), 20000 / 32 * 32);
    EXPECT_EQ(info.Values.at("info"), "\"Time Remaining\",Map,05:00,Katabatic");
    EXPECT_EQ(ReadBytes(rec + ".log"), "Time Remaining,Map\r\n05:00,Katabatic\r\n");

    const TInflated body = InflateWithPython(rec, 530);
    EXPECT_TRUE(body.Complete);
    EXPECT_EQ(Number(info, "body_bytes"), static_cast<std::int64_t>(body.Data.size()));
    // Both length rules occur: headers with bits 8 to 11 clear and set.
    bool shortRule = false, longRule = false;
    for (std::size_t at = 0; at + 1 < body.Data.size();) {
        const unsigned header = static_cast<unsigned char>(body.Data[at]) |
                                static_cast<unsigned char>(body.Data[at + 1]) << 8;
        const bool clear = (header & 0x0F00) == 0;
        (clear ? shortRule : longRule) = true;
        at += 2 + (clear ? (header & 0xFF) : header);
    }
    EXPECT_TRUE(shortRule && longRule);

    ASSERT_EQ(RunTool(dir, "generate '" + dir / "cut.rec" + "' --duration-ms 20000 --seed 3 --cut")
                  .Status,
              0);
    const TToolRun cutInfo = RunTool(dir, "info '" + dir / "cut.rec" + "'");
    const TInflated cutBody = InflateWithPython(dir / "cut.rec", 1054);
    EXPECT_FALSE(cutBody.Complete);
    EXPECT_EQ(Number(cutInfo, "body_bytes"), static_cast<std::int64_t>(cutBody.Data.size()));
    EXPECT_LT(Number(cutInfo, "demo_time_ms"), 20000);
    EXPECT_EQ(cutInfo.Values.at("info"), "\"Time Remaining\",Map,00:00,\"Unknown Map\"");
}

TEST(NelqRec, SectionsUnpackAndJoinIntoOnePlayableRecording) {
    TTempDir dir;
    std::string packets;
    for (int i = 0; i < 3; ++i) {
        const std::string rec = dir / ("r" + std::to_string(i) + ".rec");
        ASSERT_EQ(
            RunTool(dir, "generate '" + rec + "' --duration-ms 3200 --seed " + std::to_string(i))
                .Status,
            0);
        packets += InflateWithPython(rec, 1054).Data;
    }
    const TToolRun start = RunTool(dir, "section '" + dir / "r0.rec" + "' '" + dir / "p0" +
                                            "' --start-point --running-total 3725000");
    ASSERT_EQ(start.Status, 0) << start.Errors;
    EXPECT_GT(Number(start, "body_offset"), 1032);
    const TToolRun plain = RunTool(dir, "section '" + dir / "r1.rec" + "' '" + dir / "p1" + "'");
    EXPECT_EQ(Number(plain, "body_offset"), 1032);
    ASSERT_EQ(RunTool(dir, "section '" + dir / "r2.rec" + "' '" + dir / "p2" + "'").Status, 0);

    const TToolRun unpacked = RunTool(dir, "unpack '" + dir / "p0" + "' '" + dir / "u0" + "'");
    ASSERT_EQ(unpacked.Status, 0) << unpacked.Errors;
    EXPECT_EQ(Number(unpacked, "duration_ms"), 3200);
    EXPECT_EQ(Number(unpacked, "head_length"), Number(start, "body_offset") - 1032);
    EXPECT_EQ(unpacked.Values.at("info"), "\"Time Remaining\",Map,62:05,\"Unknown Map\"");
    EXPECT_EQ(ReadBytes(dir / "u0/head.rec"), ReadBytes(dir / "r0.rec").substr(0, 1054));
    EXPECT_EQ(ReadBytes(dir / "u0/packets.bin"), InflateWithPython(dir / "r0.rec", 1054).Data);
    ASSERT_EQ(RunTool(dir, "unpack '" + dir / "p1" + "' '" + dir / "u1" + "'").Status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "u1/head.rec"));

    // A viewer keeps later parts from their body offset on only.
    WriteBytes(dir / "p2.body", ReadBytes(dir / "p2").substr(1032));
    const TToolRun joined = RunTool(dir, "join '" + dir / "j.rec" + "' '" + dir / "p0" + "' '" +
                                             dir / "p1" + "' '" + dir / "p2.body" + "'");
    ASSERT_EQ(joined.Status, 0) << joined.Errors;
    EXPECT_EQ(ReadBytes(dir / "j.rec").substr(0, 1054), ReadBytes(dir / "r0.rec").substr(0, 1054));
    const TInflated body = InflateWithPython(dir / "j.rec", 1054);
    EXPECT_TRUE(body.Complete);
    EXPECT_EQ(body.Data, packets);
    EXPECT_EQ(Number(RunTool(dir, "info '" + dir / "j.rec" + "'"), "demo_time_ms"), 3 * 3200);
}

TEST(NelqRec, BadInputEndsWithAMessageAndStatusOne) {
    TTempDir dir;
    WriteBytes(dir / "short.rec", std::string(40, 'x'));
    WriteBytes(dir / "empty.part", "");
    ASSERT_EQ(RunTool(dir, "generate '" + dir / "g.rec" + "' --duration-ms 1000").Status, 0);
    ASSERT_EQ(RunTool(dir, "section '" + dir / "g.rec" + "' '" + dir / "nohead.part" + "'").Status,
              0);
    std::string corrupt = ReadBytes(dir / "g.rec");
    corrupt.replace(1060, 40, std::string(40, '\xFF'));
    WriteBytes(dir / "corrupt.rec", corrupt);

    for (const std::string& arguments :
         {std::string(""), std::string("bogus"), "info '" + dir / "missing.rec" + "'",
          "info '" + dir / "short.rec" + "'", "info '" + dir / "corrupt.rec" + "'",
          "section '" + dir / "g.rec" + "'", "generate '" + dir / "x.rec" + "'",
          "generate '" + dir / "x.rec" + "' --duration-ms -5",
          "generate '" + dir / "x.rec" + "' --duration-ms 10 --initial-block 99999999999",
          "unpack '" + dir / "short.rec" + "' '" + dir / "u" + "'",
          "join '" + dir / "j.rec" + "' '" + dir / "nohead.part" + "'",
          "join '" + dir / "j.rec" + "' '" + dir / "empty.part" + "'",
          "join '" + dir / "j.rec" + "' '" + dir / "g.rec" + "'"}) {
        const TToolRun run = RunTool(dir, arguments);
        EXPECT_EQ(run.Status, 1) << arguments;
        // Our own message first, and nothing a crash or a sanitizer would print.
        EXPECT_EQ(run.Errors.rfind("nelq-rec", 0), 0u) << arguments;
        EXPECT_EQ(run.Errors.find("Sanitizer"), std::string::npos) << run.Errors;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "j.rec")); // no output from a refused join
}

// Files of the directory whose names mark a temporary output.
std::vector<std::string> Leftovers(const TTempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "."))
        if (entry.path().filename().string().find(".nelq-rec-") != std::string::npos)
            names.push_back(entry.path().filename().string());
    return names;
}

std::string LittleEndian32(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

std::string Bzip(const std::string& plain) {
    TMemoryStream source, packed;
    source.WriteBuffer(plain.data(), plain.size());
    source.SetPosition(0);
    BzipFromStream(source, packed);
    return std::string(reinterpret_cast<const char*>(packed.Memory()), packed.ByteSize());
}

TEST(NelqRec, OutputsNeverReplaceInputsAndFailuresLeaveNoFile) {
    TTempDir dir;
    const std::string rec = dir / "g.rec";
    ASSERT_EQ(RunTool(dir, "generate '" + rec + "' --duration-ms 1600 --info Katabatic").Status, 0);
    const std::string original = ReadBytes(rec);
    std::filesystem::create_symlink(rec, dir / "link.rec");
    const std::string dirName = std::filesystem::path(rec).parent_path().filename().string();
    for (const std::string& out : {rec, dir / "./g.rec", dir / "link.rec", rec + ".log",
                                   dir / ("../" + dirName + "/g.rec")}) {
        const TToolRun run = RunTool(dir, "section '" + rec + "' '" + out + "'");
        EXPECT_EQ(run.Status, 1) << out;
        EXPECT_NE(run.Errors.find("refusing to write"), std::string::npos) << run.Errors;
    }
    EXPECT_EQ(ReadBytes(rec), original);
    EXPECT_EQ(ReadBytes(rec + ".log"), "Katabatic\r\n");

    ASSERT_EQ(RunTool(dir, "section '" + rec + "' '" + dir / "p0" + "' --start-point").Status, 0);
    const std::string part = ReadBytes(dir / "p0");
    EXPECT_EQ(RunTool(dir, "join '" + dir / "p0" + "' '" + dir / "p0" + "'").Status, 1);
    EXPECT_EQ(ReadBytes(dir / "p0"), part);
    std::filesystem::create_directory(dir / "u");
    WriteBytes(dir / "u/packets.bin", part);
    EXPECT_EQ(RunTool(dir, "unpack '" + dir / "u/packets.bin" + "' '" + dir / "u" + "'").Status, 1);
    EXPECT_EQ(ReadBytes(dir / "u/packets.bin"), part);

    // A failure half way leaves the earlier output as it was, and nothing else.
    std::string corrupt = original;
    corrupt.replace(1060, 40, std::string(40, '\xFF'));
    WriteBytes(dir / "corrupt.rec", corrupt);
    WriteBytes(dir / "earlier.part", "earlier");
    EXPECT_EQ(
        RunTool(dir, "section '" + dir / "corrupt.rec" + "' '" + dir / "earlier.part" + "'").Status,
        1);
    EXPECT_EQ(ReadBytes(dir / "earlier.part"), "earlier");
    WriteBytes(dir / "bad.body", "BZh9 and then no bzip2 at all");
    EXPECT_EQ(
        RunTool(dir, "join '" + dir / "j.rec" + "' '" + dir / "p0" + "' '" + dir / "bad.body" + "'")
            .Status,
        1);
    EXPECT_FALSE(std::filesystem::exists(dir / "j.rec"));
    EXPECT_EQ(Leftovers(dir), std::vector<std::string>{});
}

TEST(NelqRec, InfoTellsDemoPartsFromRecordings) {
    TTempDir dir;
    const std::string rec = dir / "g.rec";
    ASSERT_EQ(RunTool(dir, "generate '" + rec + "' --duration-ms 3200").Status, 0);
    const TToolRun recording = RunTool(dir, "info '" + rec + "'");
    EXPECT_EQ(recording.Values.at("kind"), "recording");

    const TToolRun built = RunTool(dir, "section '" + rec + "' '" + dir / "p0" + "' --start-point");
    ASSERT_EQ(built.Status, 0);
    const TToolRun whole = RunTool(dir, "info '" + dir / "p0" + "'");
    ASSERT_EQ(whole.Status, 0) << whole.Errors;
    EXPECT_EQ(whole.Values.at("kind"), "demo_part");
    EXPECT_EQ(Number(whole, "duration_ms"), 3200);
    EXPECT_EQ(Number(whole, "body_offset"), Number(built, "body_offset"));
    EXPECT_EQ(Number(whole, "head_length"), Number(built, "body_offset") - 1032);
    EXPECT_EQ(Number(whole, "demo_time_ms"), 3200);
    EXPECT_EQ(whole.Values.count("initial_block_length"), 0u);

    WriteBytes(dir / "p0.body", ReadBytes(dir / "p0").substr(Number(built, "body_offset")));
    const TToolRun body = RunTool(dir, "info '" + dir / "p0.body" + "'");
    EXPECT_EQ(body.Values.at("kind"), "demo_part_body");
    EXPECT_EQ(Number(body, "demo_time_ms"), 3200);

    WriteBytes(dir / "fake.part", "");
    const TToolRun fake = RunTool(dir, "info '" + dir / "fake.part" + "'");
    EXPECT_EQ(fake.Status, 1);
    EXPECT_NE(fake.Errors.find("fake section"), std::string::npos) << fake.Errors;
}

TEST(NelqRec, HeadsThatAreCutOffOrEmptyAreRefused) {
    TTempDir dir;
    ASSERT_EQ(RunTool(dir, "generate '" + dir / "g.rec" + "' --duration-ms 1600").Status, 0);
    const TToolRun built =
        RunTool(dir, "section '" + dir / "g.rec" + "' '" + dir / "p0" + "' --start-point");
    ASSERT_EQ(built.Status, 0);
    const std::string part = ReadBytes(dir / "p0");
    const std::string packedHead = part.substr(1032, Number(built, "body_offset") - 1032);
    const std::string body = part.substr(Number(built, "body_offset"));
    const std::string head = ReadBytes(dir / "g.rec").substr(0, 1054);

    for (const std::string& badHead : {packedHead.substr(0, packedHead.size() / 2), Bzip(""),
                                       Bzip(head.substr(0, 20)), Bzip(head.substr(0, 500))}) {
        WriteBytes(dir / "bad.part",
                   part.substr(0, 1028) + LittleEndian32(badHead.size()) + badHead + body);
        const TToolRun join =
            RunTool(dir, "join '" + dir / "j.rec" + "' '" + dir / "bad.part" + "'");
        EXPECT_EQ(join.Status, 1);
        EXPECT_NE(join.Errors.find("recording head"), std::string::npos) << join.Errors;
        EXPECT_FALSE(std::filesystem::exists(dir / "j.rec"));
        EXPECT_EQ(RunTool(dir, "unpack '" + dir / "bad.part" + "' '" + dir / "u" + "'").Status, 1);
        EXPECT_FALSE(std::filesystem::exists(dir / "u/head.rec"));
        EXPECT_FALSE(std::filesystem::exists(dir / "u/packets.bin"));
    }
    EXPECT_EQ(Leftovers(dir), std::vector<std::string>{});
}

} // namespace
