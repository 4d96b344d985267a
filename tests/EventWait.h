#pragma once

#include <functional>

// Serves events until `done` holds or `milliseconds` have passed; whether it holds.
bool PumpUntil(const std::function<bool()>& done, int milliseconds);

// For GoogleTest tests. Waits for a condition while serving events, and fails the test (returning
// from it, as an ASSERT does) when it does not come in time. Qt's own QTRY
// macros report only inside a Qt test run: under GoogleTest a timeout would
// end the test quietly as a pass.
#define ASSERT_EVENTUALLY(condition, milliseconds)                                               \
    ASSERT_TRUE(PumpUntil([&] { return static_cast<bool>(condition); }, milliseconds))           \
        << "waited " << (milliseconds) << " ms for " #condition

#define ASSERT_EVENTUALLY_EQ(actual, expected, milliseconds)                                     \
    do {                                                                                         \
        PumpUntil([&] { return (actual) == (expected); }, milliseconds);                         \
        ASSERT_EQ(actual, expected) << "after waiting " << (milliseconds) << " ms";              \
    } while (false)
