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
    EXPECT_EQ(DescribeSection("3"), Items{});
    EXPECT_EQ(DescribeSection(""), Items{});
}
