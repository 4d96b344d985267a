#include "platform/TextLines.h"

#include <gtest/gtest.h>

using Lines = std::vector<std::string>;

TEST(TextLines, EveryLineEndingSplitsAndEmptyLinesInsideAreKept) {
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb\n\nc\r\r"), (Lines{"a", "", "b", "", "c", ""}));
    EXPECT_EQ(SplitLines("a\n\r"), (Lines{"a", ""})); // LF CR is two endings
    EXPECT_EQ(SplitLines("last\r\n"), (Lines{"last"}));
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("\r\n"), (Lines{""}));
}
