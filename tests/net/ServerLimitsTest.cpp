#include "ServerHarness.h"

#include "net/NelqExceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Connects as `role` until the server has room again (a closed connection
// frees its slot a moment after the peer sees the close).
TVerdict ConnectWhenRoom(TServerConnection& connection, TServerHarness& harness, bool filmer) {
    const auto deadline = Clock::now() + 20s;
    for (;;) {
        const TVerdict verdict = ConnectAs(connection, harness.Address,
                                           filmer ? harness.FilmerPort() : harness.ViewerPort(),
                                           filmer ? "2016" : "1016");
        if (verdict.Accepted || Clock::now() > deadline)
            return verdict;
        std::this_thread::sleep_for(20ms);
    }
}

std::size_t LogCount(const TServerHarness& harness, const std::string& text) {
    const auto lines = harness.Log();
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(),
                      [&](const auto& line) { return line.find(text) != std::string::npos; }));
}

} // namespace

TEST(ServerLimits, ViewersLeaveTheFilmersShareFreeAndRefusalsCarryAReason) {
    TServerOptions options;
    options.MaxConnections = 3;
    options.FilmerSlots = 1;
    TServerHarness harness("127.0.0.16", "slots", options);

    auto first = harness.Viewer();
    auto second = harness.Viewer();
    TServerConnection third;
    const TVerdict viewerRefused = ConnectAs(third, harness.Address, harness.ViewerPort(), "1016");
    EXPECT_FALSE(viewerRefused.Accepted);
    EXPECT_EQ(viewerRefused.Reason, "The server has no room for more viewers. Try again later.");

    // The kept slot lets a filmer in although viewers hold all of theirs.
    auto filmer = harness.FilmerOf("Still Filmed");
    UploadSection(*filmer, 0, MakeSection(0, true, false));

    TServerConnection secondFilmer;
    const TVerdict filmerRefused =
        ConnectAs(secondFilmer, harness.Address, harness.FilmerPort(), "2016");
    EXPECT_FALSE(filmerRefused.Accepted);
    EXPECT_EQ(filmerRefused.Reason, "The server is full. Try again later.");
    EXPECT_TRUE(harness.LogHas("filmer refused: 3 connections open"));

    // A viewer that leaves frees its slot for the next one.
    first->Disconnect();
    TServerConnection next;
    ASSERT_TRUE(ConnectWhenRoom(next, harness, false).Accepted);
    next.ReadLine();
    EXPECT_EQ(ListLines(next, "LISTGAMES"), std::vector<std::string>{"Still Filmed"});
}

TEST(ServerLimits, ViewersThatNeitherAskNorReadAreClosedAtTheIdleDeadline) {
    TServerOptions options;
    options.ViewerIdleTimeout = 3s; // well above the 1 s between keep-alives
    TServerHarness harness("127.0.0.17", "idle", options);
    // A section far larger than the socket buffers between the server and a
    // viewer that reads nothing.
    auto filmer = harness.FilmerOf("Big");
    UploadSection(*filmer, 0, MakeSection(1, false, true, 6 << 20, 1000), 1 << 20);
    auto silentFilmer = harness.FilmerOf("Waiting"); // a cast that does not grow

    auto idle = harness.Viewer(); // says hello, then nothing
    TRawClient stuck(harness.Address, harness.ViewerPort(), 4096);
    stuck.Send(Line("1.0.0.47\t1016") + Line("REQUEST\tBig\t0\t0\tFALSE") + Int32Bytes(0) +
               Int32Bytes(0));
    auto busy = harness.Viewer();    // keeps asking
    auto waiting = harness.Viewer(); // reads the keep-alives of the cast that does not grow
    SendRequest(*waiting, "Waiting", 0, 0, false);
    auto keepAlives = std::async(std::launch::async, [&] {
        int count = 0;
        while (waiting->ReadInt32() == 0)
            ++count;
        return count;
    });
    auto keepBusy = [&](Clock::duration span) {
        const auto until = Clock::now() + span;
        while (Clock::now() < until) {
            EXPECT_EQ(ListLines(*busy, "LISTGAMES").size(), 2u);
            std::this_thread::sleep_for(100ms);
        }
    };

    const std::string expired = "viewer: connection ended: idle for too long";
    const auto began = Clock::now();
    while (LogCount(harness, expired) < 2 && Clock::now() - began < 40s)
        keepBusy(200ms);
    const bool bothExpired = LogCount(harness, expired) == 2;
    EXPECT_TRUE(bothExpired);
    if (!bothExpired) {
        waiting->CloseSocket(); // lets the reader above end
        return;
    }
    EXPECT_THROW(idle->ReadLine(), ENelqConnectionError);

    // The two that take part outlast the deadline again.
    keepBusy(2 * options.ViewerIdleTimeout);
    EXPECT_EQ(LogCount(harness, expired), 2u);
    EXPECT_TRUE(harness.Server().DeleteCast("Waiting"));
    EXPECT_GE(keepAlives.get(), 2); // and then the -2 of the deletion
}
