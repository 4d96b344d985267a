#include "TestSupport.h"

#include "demo/UnitDemoPart.h"
#include "demo/UnitRecordingInfo.h"
#include "platform/CommaText.h"

#include <gtest/gtest.h>

namespace {

using Entries = std::vector<std::string>;

TEST(RecordingInfo, BareMapNameIsReplacedByBothDefaultPairs) {
    EXPECT_EQ(ParseInfoList("Katabatic\r\n", 3725000),
              (Entries{"Time Remaining", "Map", "62:05", "Unknown Map"}));
}

TEST(RecordingInfo, NamesAndValuesLinesAreKeptAndQuotedWhereNeeded) {
    TTempDir dir;
    WriteBytes(dir / "game.rec.log", "Time Remaining,Map\r\n12:34,Katabatic\r\n");
    const TRecordingInfo info = ReadRecordingInfo(dir / "game.rec", 0);
    EXPECT_EQ(info.Entries, (Entries{"Time Remaining", "Map", "12:34", "Katabatic"}));
    EXPECT_EQ(info.CommaText, "\"Time Remaining\",Map,12:34,Katabatic");
}

TEST(RecordingInfo, MissingFileOrNamesWithoutValuesGetDefaults) {
    TTempDir dir;
    EXPECT_EQ(ReadRecordingInfo(dir / "none.rec", 65000).CommaText,
              "\"Time Remaining\",Map,01:05,\"Unknown Map\"");
    // Only names: half is 2, and both values are empty.
    EXPECT_EQ(ParseInfoList("Time Remaining,Map", 0),
              (Entries{"Time Remaining", "Map", "00:00", "Unknown Map"}));
    // A value present for the first pair keeps it.
    EXPECT_EQ(ParseInfoList("Time Remaining,Map,Mode\n09:59,,CTF", 0),
              (Entries{"Time Remaining", "Map", "Mode", "09:59", "Unknown Map", "CTF"}));
}

TEST(RecordingInfo, FieldsAreTrimmedAndEmptyFieldsCount) {
    // Lines " a ,<tab>b," (trailing comma: one more empty entry), "" (one empty
    // entry), "c,d" and "e": seven entries, half is 3. Entry 3 is empty, so the
    // first pair gets its defaults; "b" and "c" stay.
    EXPECT_EQ(ParseInfoList(" a ,\tb,\r\n\rc,d\ne", 0),
              (Entries{"Time Remaining", "b", "", "00:00", "c", "d", "e"}));
    EXPECT_EQ(ParseInfoList("\x01x\x1f,y\r\nu,v", 0), (Entries{"x", "y", "u", "v"}));
}

TEST(RecordingInfo, CommaTextQuoting) {
    EXPECT_EQ(CommaText({""}), "\"\"");
    EXPECT_EQ(CommaText({"", ""}), ",");
    EXPECT_EQ(CommaText({"say \"hi\"", "a,b", "tab\there", "plain"}),
              "\"say \"\"hi\"\"\",\"a,b\",\"tab\there\",plain");
}

TEST(RecordingInfo, RunningTotalFormat) {
    EXPECT_EQ(FormatRunningTotal(3725000), "62:05");
    EXPECT_EQ(FormatRunningTotal(0), "00:00");
    EXPECT_EQ(FormatRunningTotal(59999), "00:59");
    EXPECT_EQ(FormatRunningTotal(6000000), "100:00");
}

TEST(RecordingInfo, LongCommaTextLosesWholePairsAndFitsTheField) {
    Entries entries;
    for (int i = 0; i < 100; ++i)
        entries.push_back("name " + std::to_string(i));
    for (int i = 0; i < 100; ++i)
        entries.push_back("value " + std::to_string(i));
    const std::string whole = CommaText(entries);
    ASSERT_GT(whole.size(), 1023u);
    const std::string cut = CommaTextWithin(entries, 1023);
    EXPECT_LE(cut.size(), 1023u);
    EXPECT_GT(cut.size(), 1000u);

    // Read back as the viewer does: the halves still pair name i with value i.
    const std::vector<std::string> items = SplitCommaText(cut);
    ASSERT_EQ(items.size() % 2, 0u);
    const std::size_t half = items.size() / 2;
    for (std::size_t i = 0; i < half; ++i)
        EXPECT_EQ(items[i].substr(5), items[half + i].substr(6)) << i;

    // A value too long for the field on its own is shortened, still in pairs.
    const std::string huge =
        CommaTextWithin({"Time Remaining", "Map", std::string(2000, 'x'), "Frozen"}, 1023);
    EXPECT_LE(huge.size(), 1023u);
    const std::vector<std::string> fixed = SplitCommaText(huge);
    ASSERT_EQ(fixed.size(), 4u);
    EXPECT_EQ(fixed[0], "Time Remaining");
    EXPECT_EQ(fixed[3], "Frozen");

    const std::string field = MakeInfoField(cut);
    ASSERT_EQ(field.size(), 1024u);
    EXPECT_EQ(field.substr(0, cut.size()), cut);
    EXPECT_EQ(field[cut.size()], '\0');
    EXPECT_EQ(field.find_first_not_of(' ', cut.size() + 1), std::string::npos);
    EXPECT_EQ(MakeInfoField(whole)[1023], '\0');
}

} // namespace
