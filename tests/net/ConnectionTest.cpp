#include "ScriptedPeer.h"
#include "SleepingThreads.h"

#include "net/LineFields.h"
#include "net/NelqExceptions.h"
#include "net/UnitServerConnection.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <thread>

namespace {

const char* const Address = "127.0.0.2";

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (const int value : values)
        bytes += static_cast<char>(value);
    return bytes;
}

} // namespace

TEST(Connection, IntegersTravelBigEndianInBothDirections) {
    TScriptedPeer peer(Address, [&](TServerConnection& server, int) {
        peer.Expect(server);
        server.WriteLine(Bytes({0, 0, 0, 5, 0xff, 0xff, 0xff, 0xff}));
        server.ReadLine();
    });
    TServerConnection client;
    client.Connect(Address, peer.Port());
    client.WriteInt32(5);
    client.WriteInt32(-1);
    client.WriteLine("");
    EXPECT_EQ(client.ReadInt32(), 5);
    EXPECT_EQ(client.ReadInt32(), -1);
    EXPECT_EQ(client.ReadLine(), "");
    client.WriteLine("done");
    client.Disconnect();
    ASSERT_EQ(peer.Received().size(), 1u);
    EXPECT_EQ(peer.Received()[0], Bytes({0, 0, 0, 5, 0xff, 0xff, 0xff, 0xff}));
}

TEST(Connection, LinesEndInCrLfOrLfAloneAndKeepInnerCarriageReturns) {
    TScriptedPeer peer(Address, [](TServerConnection& server, int) {
        server.WriteLine("bare\ncrlf"); // "bare" ends in LF alone
        server.WriteLine("in\rside");   // an inner CR stays
        server.WriteLine("two\r");      // only one CR before the LF goes
        server.WriteLine(std::string(TServerConnection::MaxLineLength, 'a'));
        server.WriteLine(std::string(TServerConnection::MaxLineLength + 1, 'b'));
        server.ReadLine();
    });
    TServerConnection client;
    client.Connect(Address, peer.Port());
    EXPECT_EQ(client.ReadLine(), "bare");
    EXPECT_EQ(client.ReadLine(), "crlf");
    EXPECT_EQ(client.ReadLine(), "in\rside");
    EXPECT_EQ(client.ReadLine(), "two\r");
    EXPECT_EQ(client.ReadLine().size(), TServerConnection::MaxLineLength);
    try {
        client.ReadLine();
        FAIL() << "an over-long line was accepted";
    } catch (const ENelqConnectionError& error) {
        EXPECT_STREQ(error.what(), "Max line length exceeded.");
    }
}

TEST(Connection, FieldsAreTabSeparatedAndMissingOnesReadEmpty) {
    EXPECT_EQ(LineField("OK", 0), "OK");
    EXPECT_EQ(LineField("OK", 1), "");
    EXPECT_EQ(LineField("NO\tbecause\t", 1), "because");
    EXPECT_EQ(LineField("NO\tbecause\t", 2), "");
    EXPECT_EQ(LineField("a\t\tc", 2), "c");
    EXPECT_EQ(LineFields("a\t\tc"), (std::vector<std::string>{"a", "", "c"}));
    std::int32_t value = 0;
    EXPECT_TRUE(ParseInt32("-17", value));
    EXPECT_EQ(value, -17);
    EXPECT_FALSE(ParseInt32("12x", value));
    EXPECT_FALSE(ParseInt32("99999999999", value));
    EXPECT_FALSE(ParseInt32("", value));
}

TEST(Connection, CountedBlocksArriveWholeAndBadCountsAreRefusedBeforeReading) {
    std::string payload(100000, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>(i * 7 + i / 251);
    std::promise<std::string> received;
    TScriptedPeer peer(Address, [&](TServerConnection& server, int) {
        std::ostringstream block("kept:", std::ios::ate);
        server.ReadCounted(block);
        received.set_value(block.str());
        server.WriteInt32(-5);
        server.WriteInt32(std::numeric_limits<std::int32_t>::max());
        server.WriteInt32(2);
        server.WriteLine("first");
        server.WriteLine("second");
        server.WriteInt32(3);
        peer.Expect(server); // only a complete message may arrive
    });
    TServerConnection client;
    client.Connect(Address, peer.Port());
    std::istringstream source(payload);
    client.WriteCounted(source, static_cast<std::int32_t>(payload.size()));
    EXPECT_EQ(received.get_future().get(), "kept:" + payload);

    std::ostringstream sink;
    EXPECT_THROW(client.ReadCounted(sink), ENelqProtocolError);
    EXPECT_THROW(client.ReadCounted(sink, 1000), ENelqProtocolError);
    EXPECT_TRUE(sink.str().empty());
    EXPECT_EQ(client.ReadLines(2), (std::vector<std::string>{"first", "second"}));
    EXPECT_THROW(client.ReadLines(2), ENelqProtocolError);

    // A block whose data runs short is not half sent, and nothing follows it.
    std::istringstream shortSource("abc");
    EXPECT_THROW(client.WriteCounted(shortSource, 10), ENelqException);
    EXPECT_THROW(client.WriteLine("after"), ENelqConnectionError);
    client.Disconnect();
    EXPECT_TRUE(peer.Received().empty());
}

TEST(Connection, NotificationsAndAClosedPeerEndReadsWithAConnectionError) {
    TScriptedPeer peer(Address, [](TServerConnection& server, int) { server.WriteLine("bye"); });
    TServerConnection client;
    std::vector<std::string> events;
    client.OnConnected = [&] { events.push_back("Connected"); };
    client.OnDisconnected = [&] { events.push_back("Disconnected"); };
    client.Connect(Address, peer.Port());
    EXPECT_TRUE(client.IsConnected());
    EXPECT_EQ(client.ReadLine(), "bye");
    EXPECT_THROW(client.ReadLine(), ENelqConnectionError);
    client.Disconnect();
    client.Disconnect();
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(events, (std::vector<std::string>{"Connected", "Disconnected"}));
}

TEST(Connection, CloseSocketFromAnotherThreadEndsABlockedReadAtOnce) {
    TScriptedPeer peer(Address, [](TServerConnection& server, int) { server.ReadLine(); });
    TServerConnection client;
    bool disconnected = false;
    client.OnDisconnected = [&] { disconnected = true; };
    client.Connect(Address, peer.Port());
    auto reader = std::async(std::launch::async, [&] {
        const auto began = std::chrono::steady_clock::now();
        try {
            client.ReadLine();
        } catch (const ENelqConnectionError&) {
        }
        return std::chrono::steady_clock::now() - began;
    });
    ASSERT_TRUE(WaitUntilOtherThreadsSleep()); // the reader now waits for a line
    const auto closedAt = std::chrono::steady_clock::now();
    client.CloseSocket();
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - closedAt, std::chrono::milliseconds(500));
    EXPECT_FALSE(disconnected);
    // A closed connection is not reopened behind the stopping thread's back.
    EXPECT_THROW(client.Connect(Address, peer.Port()), ENelqConnectionError);
}

TEST(Connection, UnreachablePeerIsAConnectionError) {
    std::uint16_t port = 0;
    {
        TScriptedPeer gone(Address, [](TServerConnection&, int) {});
        port = gone.Port();
    }
    TServerConnection client;
    EXPECT_THROW(client.Connect(Address, port), ENelqConnectionError);
    EXPECT_THROW(client.Connect("no such host.invalid", 1), ENelqConnectionError);
}

TEST(Connection, EveryWriteToABrokenConnectionFailsAndSoDoesTheNextRead) {
    TScriptedPeer peer(Address, [](TServerConnection& server, int) {
        server.WriteLine("one\r\ntwo"); // both lines arrive in one piece
        server.ReadLine();
    });
    // A final message to a dead connection must not pass for delivered.
    TServerConnection finishing;
    finishing.Connect(Address, peer.Port());
    finishing.CloseSocket();
    EXPECT_THROW(finishing.WriteLine("COMPLETED"), ENelqConnectionError);

    // A batch closed without Commit cannot throw; what follows reports its
    // failure, even a read that the buffered line could satisfy.
    TServerConnection reading;
    reading.Connect(Address, peer.Port());
    EXPECT_EQ(reading.ReadLine(), "one");
    reading.CloseSocket();
    {
        TServerConnection::TBatch batch(reading);
        reading.WriteInt32(2);
    }
    EXPECT_THROW(reading.ReadLine(), ENelqConnectionError);
}

namespace {

const char* const SilentNameServer = "127.0.0.131";

// Ends the process of a death test at once: an abandoned lookup may still be
// inside the resolver, and nothing should wait for it.
[[noreturn]] void EndProcess(const char* failure) {
    std::fputs(failure, stderr);
    std::fflush(stderr);
    ::_exit(*failure == '\0' ? 0 : 1);
}

// Runs in a process of its own: a private mount namespace whose
// /etc/resolv.conf names a name server on loopback that takes queries and
// never answers, so a lookup hangs as it does behind a dead network.
[[noreturn]] void StopWhileTheNameLookupHangs() {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        EndProcess("cannot make a private mount namespace");
    const std::string config = std::filesystem::temp_directory_path() /
                               ("nelq-resolv-" + std::to_string(::getpid()) + ".conf");
    std::ofstream(config) << "nameserver " << SilentNameServer
                          << "\noptions timeout:30 attempts:5\n";
    const bool mounted =
        ::mount(config.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
    std::filesystem::remove(config); // a mount keeps it alive
    if (!mounted)
        EndProcess("cannot mount the test's resolv.conf");
    const int silent = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(53);
    ::inet_pton(AF_INET, SilentNameServer, &local.sin_addr);
    if (::bind(silent, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0)
        EndProcess("cannot bind the silent name server");

    static TServerConnection client; // outlives a hung Connect
    static std::promise<bool> failed;
    std::thread([] {
        try {
            client.Connect("cast.nelq.test", 28200);
            failed.set_value(false);
        } catch (const ENelqConnectionError&) {
            failed.set_value(true);
        }
    }).detach();
    auto connecting = failed.get_future();
    if (connecting.wait_for(std::chrono::milliseconds(500)) != std::future_status::timeout)
        EndProcess("the lookup did not hang");
    client.CloseSocket();
    if (connecting.wait_for(std::chrono::seconds(5)) != std::future_status::ready)
        EndProcess("CloseSocket did not end the lookup");
    EndProcess(connecting.get() ? "" : "Connect succeeded");
}

} // namespace

TEST(Connection, CloseSocketEndsAConnectThatWaitsForAnUnansweredNameLookup) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for a private mount namespace and port 53";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(StopWhileTheNameLookupHangs(), ::testing::ExitedWithCode(0), "");
}

// A peer that goes silent (or stops taking data) with the connection still
// open is given up after the idle timeout, in reads and in writes alike; one
// that keeps talking slower than that is not.
TEST(Connection, IdleTimeoutEndsReadsAndWritesThatWaitOnASilentPeer) {
    using namespace std::chrono_literals;
    std::promise<void> released;
    auto release = released.get_future().share();
    TScriptedPeer peer(Address, [&](TServerConnection& server, int index) {
        if (index == 0) {
            // Slow but alive: a byte every 100 ms, under the 400 ms timeout.
            for (int i = 0; i < 6; ++i) {
                std::this_thread::sleep_for(100ms);
                server.WriteLine(i == 5 ? "end" : "");
            }
        }
        release.wait(); // silent, neither reading nor writing, connection open
    });

    struct TCase {
        const char* Name;
        std::function<void(TServerConnection&)> Wait;
        const char* Message;
    };
    const TCase cases[] = {
        {"read", [](TServerConnection& c) { c.ReadLine(); }, "Nothing received for 400 ms."},
        {"write",
         [](TServerConnection& c) {
             const std::string chunk(1 << 20, 'x');
             for (;;) // until the peer's and our own buffers are full
                 c.WriteLine(chunk);
         },
         "Nothing could be sent for 400 ms."},
    };
    TServerConnection alive;
    alive.SetIdleTimeout(400ms);
    alive.Connect(Address, peer.Port());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(alive.ReadLine(), "");
    EXPECT_EQ(alive.ReadLine(), "end");

    for (const TCase& each : cases) {
        SCOPED_TRACE(each.Name);
        TServerConnection client;
        client.SetIdleTimeout(400ms);
        client.Connect(Address, peer.Port());
        const auto began = std::chrono::steady_clock::now();
        try {
            each.Wait(client);
            FAIL() << "a silent peer was waited for without end";
        } catch (const ENelqConnectionError& error) {
            EXPECT_STREQ(error.what(), each.Message);
        }
        EXPECT_GE(std::chrono::steady_clock::now() - began, 400ms);
        // The connection stays broken: nothing afterwards pretends to work.
        EXPECT_THROW(client.WriteLine("more"), ENelqConnectionError);
    }
    released.set_value();
}
