// The cast's list of sessions waiting for news: thousands join and leave it
// every second, each in one step, and a change must reach exactly those
// still waiting.
#include "Cast.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

class TCountingListener : public TCastListener {
public:
    void Wake() override { ++Wakes; }
    int Wakes = 0;
};

} // namespace

TEST(CastListeners, AChangeWakesExactlyThoseStillListedOnceWhoeverLeftAndInWhatOrder) {
    struct TCase {
        const char* Name;
        std::vector<int> Leaving;
    };
    const std::vector<TCase> cases{
        {"no one", {}},
        {"the first", {0}},
        {"the last", {4}},
        {"one in the middle", {2}},
        {"one twice", {1, 1}},
        {"some, scattered", {3, 0, 4}},
        {"all, from the back", {4, 3, 2, 1, 0}},
        {"all, from the front", {0, 1, 2, 3, 4}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.Name);
        TCast cast("Listened", "never-written");
        const std::uint64_t version = cast.ViewSection(0).Version;
        std::vector<std::shared_ptr<TCountingListener>> listeners;
        for (int i = 0; i < 5; ++i) {
            listeners.push_back(std::make_shared<TCountingListener>());
            cast.Listen(version, listeners.back());
        }
        for (const int leaving : test.Leaving)
            cast.Unlisten(*listeners[static_cast<std::size_t>(leaving)]);
        cast.WakeAll();
        cast.WakeAll(); // a wake unlists: the second change finds no one
        for (int i = 0; i < 5; ++i) {
            const bool left = std::count(test.Leaving.begin(), test.Leaving.end(), i) > 0;
            EXPECT_EQ(listeners[static_cast<std::size_t>(i)]->Wakes, left ? 0 : 1) << "listener " << i;
            cast.Unlisten(*listeners[static_cast<std::size_t>(i)]); // after its wake: nothing to do
        }
    }
}

TEST(CastListeners, AListenerBehindTheNewsIsWokenAtOnceAndOneListedAgainHearsTheNextChange) {
    TCast cast("Listened", "never-written");
    const std::uint64_t before = cast.ViewSection(0).Version;
    cast.WakeAll();
    const auto late = std::make_shared<TCountingListener>();
    cast.Listen(before, late);
    EXPECT_EQ(late->Wakes, 1);

    const std::uint64_t now = cast.ViewSection(0).Version;
    cast.Listen(now, late);
    EXPECT_EQ(late->Wakes, 1);
    cast.WakeAll();
    EXPECT_EQ(late->Wakes, 2);
}
