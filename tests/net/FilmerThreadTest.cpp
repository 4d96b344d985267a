#include "FaultRelay.h"
#include "FilmingRun.h"
#include "ScriptedPeer.h"

#include "demo/UnitDemoPart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// ---- against the scripted peer, where the exact messages matter

// What the peer saw, one readable entry per message; keep-alives are left
// out (their number depends on timing) and so are the announces' numbers,
// which are kept whole beside.
class TPeerLog {
public:
    void Add(const std::string& entry) {
        std::lock_guard guard(Lock);
        FEntries.push_back(entry);
    }
    void AddAnnounce(const std::array<std::int32_t, 6>& announce) {
        std::lock_guard guard(Lock);
        FAnnounces.push_back(announce);
    }
    std::vector<std::string> Entries() const {
        std::lock_guard guard(Lock);
        return FEntries;
    }
    bool Has(const std::string& entry) const {
        std::lock_guard guard(Lock);
        return std::find(FEntries.begin(), FEntries.end(), entry) != FEntries.end();
    }
    std::vector<std::array<std::int32_t, 6>> Announces() const {
        std::lock_guard guard(Lock);
        return FAnnounces;
    }

private:
    mutable std::mutex Lock;
    std::vector<std::string> FEntries;                   // guarded by Lock
    std::vector<std::array<std::int32_t, 6>> FAnnounces; // guarded by Lock
};

using TResumeOffsets = std::function<std::array<std::int32_t, 2>(
    int connection, const std::array<std::int32_t, 6>& announce)>;

// The casting server's side for one filmer connection, read to its end.
void PlayCastingServer(TServerConnection& peer, int connection, TPeerLog& log,
                       const TResumeOffsets& offsets) {
    const std::string prefix = std::to_string(connection) + " ";
    peer.WriteLine("NELQ scripted peer");
    peer.ReadLine();
    peer.WriteLine("OK");
    log.Add(prefix + peer.ReadLine());
    peer.WriteLine("OK");
    for (;;) {
        const std::string line = peer.ReadLine();
        if (line.rfind("TRANSMIT\t2\t", 0) == 0) {
            std::array<std::int32_t, 6> announce{};
            for (auto& value : announce)
                value = peer.ReadInt32();
            log.Add(prefix + line);
            log.AddAnnounce(announce);
            const auto resume =
                offsets ? offsets(connection, announce) : std::array<std::int32_t, 2>{0, 0};
            peer.WriteInt32(resume[0]);
            peer.WriteInt32(resume[1]);
        } else if (line == "BLOCK") {
            const std::int32_t part = peer.ReadInt32();
            if (peer.ReadInt32() == 1) {
                log.Add(prefix + "end " + std::to_string(part));
                continue;
            }
            std::ostringstream data;
            const std::int32_t size = peer.ReadCounted(data);
            log.Add(prefix + "data " + std::to_string(part) + " " + std::to_string(size));
        } else if (line == "HI") {
            peer.WriteLine("HI");
        } else {
            log.Add(prefix + line);
        }
    }
}

struct TScriptedCast {
    explicit TScriptedCast(const std::string& address, TResumeOffsets offsets = {})
        : Address(address), Peer(address, [this, offsets](TServerConnection& peer, int connection) {
              PlayCastingServer(peer, connection, Log, offsets);
          }) {}

    const std::string Address;
    TPeerLog Log;
    TScriptedPeer Peer;
};

std::vector<std::string> Entries(std::initializer_list<std::string> entries) {
    return entries;
}

TEST(FilmerThread, RateBudgetIsSharedByOpenPartsAndEndMarkersFollowInALaterPass) {
    TScriptedCast cast("127.0.0.121");
    TFilming filming(cast.Address, cast.Peer.Port(), 7000, 1);
    filming.AddAudio(0, RandomBytes(2000, 1));
    filming.Thread->Start();
    ASSERT_TRUE(filming.Until([&] { return !filming.Bytes.empty(); })); // logged in
    filming.AddRecording("game.rec", 1100, 555); // its demo part is 10000 bytes
    ASSERT_TRUE(filming.UntilCuts({0}));
    filming.Thread->SetAccepting(false);
    ASSERT_TRUE(filming.UntilFinished());
    ASSERT_TRUE(filming.Until([&] { return cast.Log.Has("0 COMPLETED"); }));

    ASSERT_EQ(cast.Log.Announces().size(), 1u);
    const auto announce = cast.Log.Announces()[0];
    EXPECT_EQ(announce[1], 10000) << "the generator changed: pick a seed for 10000 bytes";
    EXPECT_EQ(cast.Log.Entries(), Entries({"0 AUTH\tpw\tNEW\tFilmerCast", "0 TRANSMIT\t2\t0",
                                           "0 data 0 3500", "0 data 1 2000", // pass 1
                                           "0 data 0 3500", "0 end 1",       // pass 2
                                           "0 data 0 3000",                  // pass 3
                                           "0 end 0",                        // pass 4
                                           "0 COMPLETED"}));
    EXPECT_EQ(filming.Thread->BytesSent(), 12000);
    EXPECT_EQ(filming.Bytes.back(), 12000);
    EXPECT_TRUE(filming.HasStatus("Stream upload Complete"));
    EXPECT_EQ(cast.Peer.Connections(), 1); // nothing retried after "COMPLETED"
    EXPECT_TRUE(fs::is_empty(filming.Work.WithSeparator()));
}

TEST(FilmerThread, AnnounceCarriesKindSizeAndBodyOffsetOfBothParts) {
    TScriptedCast cast("127.0.0.122");
    TFilming filming(cast.Address, cast.Peer.Port(), 20000, 6);
    for (int n = 0; n < 5; ++n)
        filming.AddAudio(n, RandomBytes(100, static_cast<unsigned>(n)));
    filming.AddAudio(5, RandomBytes(20000, 5));
    filming.Thread->Start();
    ASSERT_TRUE(filming.Until([&] { return !filming.Bytes.empty(); }));
    for (int n = 0; n < 5; ++n)
        filming.AddRecording("game" + std::to_string(n) + ".rec", 200, static_cast<unsigned>(n));
    // Section 5 is no start point (step 6 from section 0); its demo part is 5000 bytes.
    filming.AddRecording("game5.rec", 400, 627);
    ASSERT_TRUE(filming.UntilCuts({0, 1, 2, 3, 4, 5}));
    filming.Thread->SetAccepting(false);
    ASSERT_TRUE(filming.UntilFinished());
    ASSERT_TRUE(filming.Until([&] { return cast.Log.Has("0 COMPLETED"); }));

    const auto announces = cast.Log.Announces();
    ASSERT_EQ(announces.size(), 6u);
    std::string bytes;
    for (const std::int32_t value : announces[5])
        bytes += Int32Bytes(value);
    const std::string expected{0, 0, 0, 0, 0, 0, 0x13, char(0x88), 0, 0, 0x04, 0x08,
                               0, 0, 0, 1, 0, 0, 0x4e, 0x20,       0, 0, 0,    0};
    EXPECT_EQ(bytes, expected);
    const auto entries = cast.Log.Entries();
    const auto transmits = std::count_if(entries.begin(), entries.end(), [](const std::string& e) {
        return e.find("TRANSMIT") != std::string::npos;
    });
    EXPECT_EQ(transmits, 6);
    EXPECT_NE(std::find(entries.begin(), entries.end(), "0 TRANSMIT\t2\t5"), entries.end());
    EXPECT_EQ(entries.back(), "0 COMPLETED");
}

TEST(FilmerThread, ResumeOffsetsSkipWhatTheServerHasAndOneBeyondTheEndReconnects) {
    const std::int32_t audioSize = 3000;
    TScriptedCast cast("127.0.0.123", [&](int connection, const std::array<std::int32_t, 6>&) {
        return std::array<std::int32_t, 2>{0, connection == 0 ? audioSize + 1 : audioSize};
    });
    TFilming filming(cast.Address, cast.Peer.Port(), 7000, 1);
    filming.AddAudio(0, RandomBytes(audioSize, 3));
    filming.Thread->Start();
    filming.Thread->QueueFake();
    ASSERT_TRUE(filming.UntilCuts({0}));
    filming.Thread->ReleaseFake();
    filming.Thread->SetAccepting(false);
    ASSERT_TRUE(filming.UntilFinished());
    ASSERT_TRUE(filming.Until([&] { return cast.Log.Has("1 COMPLETED"); }));

    EXPECT_EQ(cast.Log.Entries(), Entries({"0 AUTH\tpw\tNEW\tFilmerCast", "0 TRANSMIT\t2\t0",
                                           "1 AUTH\tpw\tRESUME\tFilmerCast", "1 TRANSMIT\t2\t0",
                                           "1 end 0", "1 end 1", "1 COMPLETED"}));
    EXPECT_TRUE(filming.HasStatus("Tried to resume outside valid data range"));
    EXPECT_TRUE(filming.HasStatus("Attempting to resume transfer..."));
    EXPECT_EQ(filming.Statuses.back(), "Disconnected");
    EXPECT_EQ(filming.Statuses[filming.Statuses.size() - 2], "Stream upload Complete");
    EXPECT_EQ(filming.Thread->BytesSent(), 0);
    EXPECT_EQ(cast.Peer.Connections(), 2);
}

// ---- against the casting server

TEST(FilmerThread, SectionsGoOutInQueueOrderWithoutGapsAndTheRunCompletes) {
    TServerHarness server("127.0.0.124", "filmer-order");
    TFilming filming(server.Address, server.FilmerPort(), 6000, 2);
    ASSERT_NO_FATAL_FAILURE(FilmTwoRecordings(filming));
    ASSERT_TRUE(UntilCompletedOn(filming, server));

    const fs::path cast = CastDirectory(server);
    std::int64_t total = 0;
    for (int n = 0; n < 5; ++n) {
        const std::string section = (cast / ("section_" + std::to_string(n))).string();
        EXPECT_EQ(ReadBytes(section + ".part1"), RandomBytes(AudioSizes[n], n)) << n;
        const TDemoPartHeader demo = ReadDemoPartHeader(section + ".part0");
        const bool real = n == 1 || n == 3;
        EXPECT_EQ(demo.Size > 0, real) << n;
        if (real) {
            EXPECT_EQ(demo.DurationMs, n == 1 ? 1100u : 1300u);
            EXPECT_GT(demo.HeadLength, 0u) << "the first real section after a fake starts";
        }
        total += demo.Size + static_cast<std::int64_t>(AudioSizes[n]);
    }
    EXPECT_FALSE(fs::exists(cast / "section_5.meta"));
    EXPECT_EQ(filming.Thread->BytesSent(), total);
    EXPECT_TRUE(fs::is_empty(filming.Work.WithSeparator())) << "both parts are deleted";

    const auto complete =
        std::find(filming.Statuses.begin(), filming.Statuses.end(), "Stream upload Complete");
    ASSERT_NE(complete, filming.Statuses.end());
    EXPECT_EQ(std::vector<std::string>(complete + 1, filming.Statuses.end()),
              std::vector<std::string>{"Disconnected"});
    EXPECT_FALSE(filming.HasStatus("Attempting Reconnection..."));
}

TEST(FilmerThread, DroppedConnectionsResumeAndTheCastEqualsAnUndisturbedOne) {
    TServerHarness undisturbed("127.0.0.125", "filmer-undisturbed");
    {
        TFilming filming(undisturbed.Address, undisturbed.FilmerPort(), 4000, 1);
        ASSERT_NO_FATAL_FAILURE(FilmTwoRecordings(filming));
        ASSERT_TRUE(UntilCompletedOn(filming, undisturbed));
    }

    TServerHarness server("127.0.0.126", "filmer-disturbed");
    // The first connection is cut 100 bytes into its third data block; the
    // server is restarted once section 3 has been announced.
    TFaultRelay relay(server.Address, server.Address, server.FilmerPort());
    relay.FaultConnection(0, {TFaultKind::Drop, TFlow::Upstream, AtPattern("BLOCK\r\n", 3, 100)});
    TFilming filming(server.Address, relay.Port(), 4000, 1);
    bool restarted = false;
    filming.OnPump = [&] {
        if (!restarted && server.LogHas("section 3 of")) {
            server.Restart();
            restarted = true;
        }
    };
    ASSERT_NO_FATAL_FAILURE(FilmTwoRecordings(filming));
    ASSERT_TRUE(UntilCompletedOn(filming, server));

    EXPECT_EQ(relay.Faults(), 1);
    EXPECT_TRUE(restarted);
    EXPECT_TRUE(filming.HasStatus("Attempting to resume transfer..."));
    EXPECT_EQ(FilesOf(CastDirectory(server)), FilesOf(CastDirectory(undisturbed)));
}

TEST(FilmerThread, ARecordingThatCannotBeBuiltLosesOnlyItsEntry) {
    TServerHarness server("127.0.0.127", "filmer-damaged");
    TFilming filming(server.Address, server.FilmerPort(), 20000, 1);
    filming.AddAudio(0, RandomBytes(500, 0));
    filming.AddAudio(1, RandomBytes(600, 1));
    filming.Thread->Start();
    filming.Thread->QueueFake();
    ASSERT_TRUE(filming.UntilCuts({0}));
    filming.AddDamagedRecording("damaged.rec");
    ASSERT_TRUE(filming.UntilCuts({0, 1}));
    filming.Thread->ReleaseFake();
    ASSERT_TRUE(filming.UntilCuts({0, 1, 2, 2})); // filming goes on with a fake
    filming.Thread->SetAccepting(false);
    filming.Thread->ReleaseFake();
    ASSERT_TRUE(filming.UntilFinished());
    ASSERT_TRUE(UntilCompletedOn(filming, server));

    // The fake after the damaged recording became section 1, with audio part 1.
    const fs::path cast = CastDirectory(server);
    EXPECT_EQ(fs::file_size(cast / "section_1.part0"), 0u);
    EXPECT_EQ(ReadBytes((cast / "section_1.part1").string()), RandomBytes(600, 1));
    EXPECT_FALSE(fs::exists(cast / "section_2.meta"));
    const auto error = std::find_if(
        filming.Statuses.begin(), filming.Statuses.end(),
        [](const std::string& status) { return status.find("damaged.rec") != std::string::npos; });
    EXPECT_NE(error, filming.Statuses.end()) << "the build error is shown";
    EXPECT_TRUE(filming.HasStatus("Stream upload Complete"));
}

TEST(FilmerThread, ARefusedPasswordEndsTheThreadWithTheServersReason) {
    TServerOptions options;
    options.FilmPassword = "secret";
    TServerHarness server("127.0.0.128", "filmer-refused", options);
    TFilming filming(server.Address, server.FilmerPort(), 7000, 1, "guess");
    filming.Thread->Start();
    ASSERT_TRUE(filming.UntilFinished());
    EXPECT_TRUE(filming.HasStatus("Wrong filming password."));
    EXPECT_FALSE(filming.HasStatus("Attempting Reconnection..."));
    EXPECT_TRUE(filming.Bytes.empty());
}

TEST(FilmerThread, StoppedBeforeAnySectionWasQueuedItStillCompletes) {
    TServerHarness server("127.0.0.129", "filmer-nothing");
    TFilming filming(server.Address, server.FilmerPort(), 7000, 1);
    filming.Thread->QueueFake();
    filming.Thread->SetAccepting(false); // before any pass took the pending fake
    filming.Thread->Start();
    ASSERT_TRUE(filming.UntilFinished());
    EXPECT_TRUE(filming.HasStatus("Stream upload Complete"));
    EXPECT_TRUE(UntilCompletedOn(filming, server));
}

TEST(FilmerThread, AMissingRecordingsDirectoryIsReportedAndFakeSectionsGoOn) {
    TServerHarness server("127.0.0.130", "filmer-no-recordings");
    TFilming filming(server.Address, server.FilmerPort(), 7000, 1);
    fs::remove(filming.Recordings.WithSeparator());
    filming.AddAudio(0, RandomBytes(800, 0));
    filming.Thread->Start();
    filming.Thread->QueueFake();
    ASSERT_TRUE(filming.UntilCuts({0}));
    filming.Thread->ReleaseFake();
    filming.Thread->SetAccepting(false);
    ASSERT_TRUE(filming.UntilFinished());
    ASSERT_TRUE(UntilCompletedOn(filming, server));
    ASSERT_FALSE(filming.Statuses.empty());
    EXPECT_EQ(filming.Statuses[0].rfind("Cannot read the recordings directory ", 0), 0u);
    EXPECT_EQ(ReadBytes((CastDirectory(server) / "section_0.part1").string()), RandomBytes(800, 0));
    EXPECT_TRUE(filming.HasStatus("Stream upload Complete"));
}

} // namespace
