#include "FaultRelay.h"
#include "RecordingGenerator.h"
#include "ScriptedPeer.h"
#include "ServerHarness.h"
#include "TestSupport.h"

#include "demo/UnitDemoPart.h"
#include "net/UnitFilmerThread.h"
#include "platform/PumpedSyncContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr std::chrono::milliseconds Patience = 60s;
const char* const Game = "FilmerCast";

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

// A filming run as the main window drives it: the thread, its directories,
// and every notification it made. The game's recordings and the encoder's
// audio parts appear whole, as finished files do.
class TFilming {
public:
    TFilming(const std::string& host, std::uint16_t port, std::int32_t rate, std::int32_t step,
             const std::string& password = "pw") {
        std::string recordings = Recordings.WithSeparator();
        recordings.pop_back(); // the thread adds the separator itself
        Thread =
            std::make_unique<TFilmerThread>(Sync, "1.0.0.47", host, recordings,
                                            Work.WithSeparator(), password, Game, rate, step, port);
        Thread->SetPassInterval(20ms);
        Thread->OnStatus = [this](const std::string& text) { Statuses.push_back(text); };
        Thread->OnBytesSent = [this](std::int32_t bytes) { Bytes.push_back(bytes); };
        Thread->OnAudioCut = [this](std::int32_t section) { Cuts.push_back(section); };
    }

    // Pumps the thread's calls until `done` holds; OnPump runs on every round.
    bool Until(const std::function<bool()>& done) {
        return Sync.PumpUntil(
            [&] {
                if (OnPump)
                    OnPump();
                return done();
            },
            Patience);
    }
    // Until the cuts begin with `cuts` (later ones may follow at once).
    bool UntilCuts(const std::vector<std::int32_t>& cuts) {
        return Until([&] {
            return Cuts.size() >= cuts.size() && std::equal(cuts.begin(), cuts.end(), Cuts.begin());
        });
    }
    bool UntilFinished() {
        return Until([&] { return Thread->Finished(); });
    }
    bool HasStatus(const std::string& text) const {
        return std::find(Statuses.begin(), Statuses.end(), text) != Statuses.end();
    }

    void AddRecording(const std::string& name, std::uint32_t durationMs, std::uint64_t seed) {
        TGeneratorOptions options;
        options.DurationMs = durationMs;
        options.InitialBlockLength = 64;
        options.Seed = seed;
        options.InfoText = "Time Remaining,Map\n10:00,Katabatic";
        GenerateRecording(Staging / name, options);
        fs::rename(Staging / (name + ".log"), Recordings / (name + ".log"));
        fs::rename(Staging / name, Recordings / name);
    }
    void AddDamagedRecording(const std::string& name) {
        WriteBytes(Recordings / (name + ".log"), "Time Remaining,Map\n10:00,Katabatic");
        WriteBytes(Recordings / name, "cut off");
    }
    void AddAudio(std::int32_t section, const std::string& bytes) {
        const std::string name = "stream_" + std::to_string(section) + ".ogg";
        WriteBytes(Staging / name, bytes);
        fs::rename(Staging / name, Work / name);
    }

    PumpedSyncContext Sync; // first: the thread stops while it still serves the calls
    TTempDir Recordings;
    TTempDir Work;
    TTempDir Staging;
    std::vector<std::string> Statuses;
    std::vector<std::int32_t> Bytes;
    std::vector<std::int32_t> Cuts;
    std::function<void()> OnPump;
    std::unique_ptr<TFilmerThread> Thread;
};

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

// Sections 0 fake, 1 real, 2 fake, 3 real, 4 fake, made as the game and the
// main window make them; then "Stop Recording" and the upload runs out.
const std::array<std::size_t, 5> AudioSizes{9000, 12000, 3000, 15000, 7000};

void FilmTwoRecordings(TFilming& filming) {
    for (std::size_t n = 0; n < AudioSizes.size(); ++n)
        filming.AddAudio(static_cast<std::int32_t>(n),
                         RandomBytes(AudioSizes[n], static_cast<unsigned>(n)));
    filming.Thread->Start();
    filming.Thread->QueueFake();
    ASSERT_TRUE(filming.UntilCuts({0}));
    filming.AddRecording("first.rec", 1100, 11);
    ASSERT_TRUE(filming.UntilCuts({0, 1}));
    filming.Thread->ReleaseFake();
    // Two passes after the recording is final the audio is cut for the fake
    // that follows, and once more when that fake is queued.
    ASSERT_TRUE(filming.UntilCuts({0, 1, 2, 2}));
    filming.AddRecording("second.rec", 1300, 12);
    ASSERT_TRUE(filming.UntilCuts({0, 1, 2, 2, 3}));
    filming.Thread->ReleaseFake();
    ASSERT_TRUE(filming.UntilCuts({0, 1, 2, 2, 3, 4, 4}));
    filming.Thread->SetAccepting(false);
    filming.Thread->ReleaseFake();
    ASSERT_TRUE(filming.UntilFinished());
}

fs::path CastDirectory(const TServerHarness& server) {
    return server.DataDirectory / Game;
}

// The thread may end before the server has handled its last messages.
bool UntilCompletedOn(TFilming& filming, const TServerHarness& server) {
    return filming.Until([&] { return fs::exists(CastDirectory(server) / "completed"); });
}

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

std::map<std::string, std::string> FilesOf(const fs::path& directory) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(directory))
        files[entry.path().filename().string()] = ReadBytes(entry.path().string());
    return files;
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
