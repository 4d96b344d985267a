#include "app/UnitSectionPick.h"
#include "platform/CommaText.h"

#include <gtest/gtest.h>

using Items = std::vector<std::string>;

TEST(LastPlayed, PicksTheLastEntryNotBeyondIt) {
    const std::vector<int> sections{0, 3, 6, 9};
    EXPECT_EQ(PickLastPlayedIndex(sections, "7"), 2);
    EXPECT_EQ(PickLastPlayedIndex(sections, " 9\r\n"), 3);
    EXPECT_EQ(PickLastPlayedIndex(sections, "100"), 3);
    EXPECT_EQ(PickLastPlayedIndex(sections, "+7"), 2);
    EXPECT_EQ(PickLastPlayedIndex(sections, "+-7"), 0);
    EXPECT_EQ(PickLastPlayedIndex(sections, "abc"), 0);
    EXPECT_EQ(PickLastPlayedIndex(sections, ""), 0);
    EXPECT_EQ(PickLastPlayedIndex({4, 8}, "2"), 0);
    EXPECT_EQ(PickLastPlayedIndex({}, "5"), 0);
}

TEST(CommaText, SplitsOnCommasAndBlanksWithQuotedItems) {
    EXPECT_EQ(SplitCommaText("a,b,c"), (Items{"a", "b", "c"}));
    EXPECT_EQ(SplitCommaText("Time Remaining"), (Items{"Time", "Remaining"}));
    EXPECT_EQ(SplitCommaText("\"Time Remaining\",x"), (Items{"Time Remaining", "x"}));
    EXPECT_EQ(SplitCommaText("\"say \"\"hi\"\", then\""), (Items{"say \"hi\", then"}));
    EXPECT_EQ(SplitCommaText("a,"), (Items{"a", ""}));
    EXPECT_EQ(SplitCommaText("a,,b"), (Items{"a", "", "b"}));
    EXPECT_EQ(SplitCommaText("  "), Items{});
    EXPECT_EQ(SplitCommaText("\"unterminated"), (Items{"unterminated"}));
}

TEST(SectionDescription, PairsEachNameWithItsValue) {
    EXPECT_EQ(DescribeSection("6,\"Time Remaining\",Map,12:30,Frozen"),
              (Items{"Time Remaining: 12:30", "Map: Frozen"}));
    EXPECT_EQ(DescribeSection("6,\"Time Remaining\",Map,\"Cast Time\",12:30,Frozen,3:12"),
              (Items{"Time Remaining: 12:30", "Map: Frozen", "Cast Time: 3:12"}));
    EXPECT_EQ(DescribeSection("3"), Items{});
    EXPECT_EQ(DescribeSection(""), Items{});
}

TEST(SectionDescription, RowsCarryTheSectionAndTheCastTimeItStartsAt) {
    struct TRowCase {
        const char* Line;
        int Section;
        Items Cells; // first value, second value, starts at
    };
    const std::vector<TRowCase> cases{
        // From a server that sends no cast time: as before, plus the section.
        {"6,\"Time Remaining\",Map,12:30,Frozen", 6, {"12:30", "Frozen", ""}},
        {"9,\"Time Remaining\",Map,\"Cast Time\",12:30,Frozen,3:12", 9, {"12:30", "Frozen", "3:12"}},
        {"12,Map,\"Cast Time\",Players,Frozen,1:02:05,8", 12, {"Frozen", "1:02:05", "1:02:05"}},
        // Only a name counts, not a value that reads "Cast Time".
        {"3,Map,Mission,\"Cast Time\",x", 3, {"Cast Time", "x", ""}},
        {"4,\"Cast Time\",\"Cast Time\",1:00,2:00", 4, {"1:00", "2:00", "1:00"}},
        {"5,\"Cast Time\"", 5, {"", "", ""}},
        {"x,Map,Frozen", 0, {"Frozen", "", ""}},
        {"", 0, {"", "", ""}},
    };
    for (const TRowCase& rowCase : cases) {
        const TSectionRow row = SectionRow(rowCase.Line);
        EXPECT_EQ(row.Section, rowCase.Section) << rowCase.Line;
        EXPECT_EQ((Items{row.FirstValue, row.SecondValue, row.StartsAt}), rowCase.Cells)
            << rowCase.Line;
    }
}
