#include "demo/UnitDemoStartList.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(DemoStartList, AddReadDeleteClear) {
    TListDemoStarts starts;
    EXPECT_EQ(starts.Add(10, 0), 0);
    EXPECT_EQ(starts.Add(14, 125000), 1);
    EXPECT_EQ(starts.Add(20, 300000), 2);
    EXPECT_EQ(starts.Items(1).FirstSection, 14);
    EXPECT_EQ(starts.Items(1).StartTimeMs, 125000);
    starts.Delete(0);
    EXPECT_EQ(starts.Count(), 2);
    EXPECT_EQ(starts.Items(0).FirstSection, 14);
    EXPECT_THROW(starts.Items(2), std::out_of_range);
    EXPECT_THROW(starts.Delete(-1), std::out_of_range);
    starts.Clear();
    EXPECT_EQ(starts.Count(), 0);
}

} // namespace
