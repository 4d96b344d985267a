#include "RandomBytes.h"
#include "ScriptedPeer.h"
#include "ViewerProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Greeting, verdict, and no login wanted.
void Welcome(TScriptedPeer& peer, TServerConnection& server) {
    server.WriteLine("greeting");
    peer.Expect(server);
    server.WriteLine("OK");
    server.WriteLine("WELCOME");
}

void ListGames(TScriptedPeer& peer, TServerConnection& server,
               const std::vector<std::string>& games) {
    peer.Expect(server); // LISTGAMES
    server.WriteInt32(static_cast<std::int32_t>(games.size()));
    for (const auto& game : games)
        server.WriteLine(game);
}

struct TStreamHead {
    std::int32_t Type, Tag, Length;
};

// A section header; returns the viewer's resume offsets.
std::vector<std::int32_t> Header(TServerConnection& server, const std::vector<TStreamHead>& streams) {
    {
        TServerConnection::TBatch batch(server);
        server.WriteInt32(static_cast<std::int32_t>(streams.size()));
        for (const auto& stream : streams) {
            server.WriteInt32(stream.Type);
            server.WriteInt32(stream.Tag);
            server.WriteInt32(stream.Length);
        }
    }
    std::vector<std::int32_t> offsets;
    for (std::size_t i = 0; i < streams.size(); ++i)
        offsets.push_back(server.ReadInt32());
    return offsets;
}

void Data(TServerConnection& server, std::int32_t slot, const std::string& bytes) {
    TServerConnection::TBatch batch(server);
    server.WriteInt32(slot);
    server.WriteInt32(0);
    std::istringstream source(bytes);
    server.WriteCounted(source, static_cast<std::int32_t>(bytes.size()));
}

void End(TServerConnection& server, std::int32_t slot) {
    TServerConnection::TBatch batch(server);
    server.WriteInt32(slot);
    server.WriteInt32(1);
}

void ReadUntilClosed(TScriptedPeer& peer, TServerConnection& server) {
    for (;;)
        peer.Expect(server);
}

} // namespace

TEST(ViewerHostile, ADropInsideADataBlockOrAShortStreamResumesTheSameSectionByteForByte) {
    // Section 3 arrives whole; section 4 breaks off inside a block that is
    // larger than one read piece, so part of that block is already on disk.
    std::string demo = RandomBytes(80000, 4);
    const std::size_t cut = 20000 + 40000;
    demo[cut - 2] = '\r'; // the broken block is sent as a line: its last two bytes
    demo[cut - 1] = '\n';
    const std::string audio = RandomBytes(5000, 5);
    const std::string audio3 = RandomBytes(300, 3);
    std::mutex offsetsLock;
    std::vector<std::vector<std::int32_t>> offsets; // guarded by offsetsLock
    const auto keepOffsets = [&](std::vector<std::int32_t> sent) {
        std::lock_guard guard(offsetsLock);
        offsets.push_back(sent);
        return sent;
    };
    TScriptedPeer peer("127.0.0.76", [&](TServerConnection& server, int index) {
        Welcome(peer, server);
        if (index == 0) {
            ListGames(peer, server, {"G"});
            peer.Expect(server); // REQUEST
            keepOffsets(Header(server, {{1, 0, 300}}));
            Data(server, 0, audio3);
            End(server, 0);
            server.WriteInt32(0); // a keep-alive in place of a header
            keepOffsets(Header(server, {{0, 77, 80000}, {1, 0, 5000}}));
            Data(server, 0, demo.substr(0, 20000));
            server.WriteInt32(-1); // a keep-alive among the blocks: 4 bytes
            server.WriteInt32(1);
            server.WriteInt32(7); // an unknown kind: nothing follows
            Data(server, 1, audio);
            TServerConnection::TBatch batch(server);
            server.WriteInt32(0);
            server.WriteInt32(0);
            server.WriteInt32(50000);
            server.WriteLine(demo.substr(20000, 40000 - 2));
            return; // the connection drops 10000 bytes short of the block's end
        }
        peer.Expect(server); // REQUEST again
        const auto resume = keepOffsets(Header(server, {{0, 77, 80000}, {1, 0, 5000}}));
        const auto from = static_cast<std::size_t>(resume[0]);
        if (index == 1) {
            // The stream ends 1000 bytes short of its length: resumed from the disk again.
            Data(server, 0, demo.substr(from, demo.size() - 1000 - from));
            End(server, 0);
            ReadUntilClosed(peer, server);
        }
        Data(server, 0, demo.substr(from));
        End(server, 0);
        End(server, 1);
        server.WriteInt32(-1);
        ReadUntilClosed(peer, server);
    });
    TViewerProbe probe("drop", "127.0.0.76", peer.Port());
    probe.AfterGames = [&](const std::vector<std::string>&) { RequestCast(probe.Viewer, "G", 3); };
    probe.Viewer.Start();
    ASSERT_TRUE(probe.WaitFor([&] { return probe.Viewer.Finished(); }));

    const auto received = peer.Received();
    ASSERT_EQ(received.size(), 7u);
    EXPECT_EQ(received[2], "REQUEST\tG\t3\t3\tFALSE");
    EXPECT_EQ(received[4], "REQUEST\tG\t3\t4\tFALSE"); // the half-received section
    EXPECT_EQ(received[6], "REQUEST\tG\t3\t4\tFALSE");
    std::lock_guard guard(offsetsLock);
    ASSERT_EQ(offsets.size(), 4u);
    EXPECT_EQ(offsets[1], (std::vector<std::int32_t>{0, 0}));
    // What was on disk: the whole first block and the first read piece of the broken one.
    EXPECT_EQ(offsets[2], (std::vector<std::int32_t>{20000 + 32768, 5000}));
    EXPECT_EQ(offsets[3], (std::vector<std::int32_t>{79000, 5000}));
    EXPECT_TRUE(probe.HasStatus("Stream 0 of section 4 ended after 79000 of its 80000 bytes."));
    EXPECT_TRUE(probe.File("G", "demo_4.rec") == demo);
    EXPECT_TRUE(probe.File("G", "audio_4.ogg") == audio);
    EXPECT_TRUE(probe.File("G", "audio_3.ogg") == audio3);
    const std::vector<std::pair<std::int32_t, std::int32_t>> completed{{3, 0}, {4, 77}};
    EXPECT_EQ(probe.Completed, completed);
    EXPECT_TRUE(probe.HasStatus("Attempting to resume transfer..."));
    EXPECT_TRUE(probe.HasStatus("Streams completed"));
    EXPECT_EQ(probe.Ended, 1);
}

TEST(ViewerHostile, EndOfCastOrDeletionBeforeAnySectionEndsTheThread) {
    for (const auto& [sent, said] : std::vector<std::pair<std::int32_t, std::string>>{
             {-1, "Streams completed"}, {-2, "Stream has been deleted by the admin"}}) {
        // Named copies: lambdas cannot capture structured bindings before clang 16.
        const std::int32_t header = sent;
        const std::string text = said;
        TScriptedPeer peer("127.0.0.77", [&](TServerConnection& server, int) {
            Welcome(peer, server);
            ListGames(peer, server, {"G"});
            peer.Expect(server);
            server.WriteInt32(header);
            ReadUntilClosed(peer, server);
        });
        TViewerProbe probe("ended", "127.0.0.77", peer.Port());
        probe.AfterGames = [&](const std::vector<std::string>&) {
            RequestCast(probe.Viewer, "G", 0);
        };
        probe.Viewer.Start();
        ASSERT_TRUE(probe.WaitFor([&] { return probe.Viewer.Finished(); })) << text;
        EXPECT_TRUE(probe.HasStatus(text));
        EXPECT_EQ(probe.Ended, 1);
        EXPECT_TRUE(probe.Completed.empty());
        EXPECT_EQ(peer.Connections(), 1);
    }
}

TEST(ViewerHostile, BadRepliesAreRefusedWithAClearErrorAndAReconnection) {
    struct TCase {
        const char* Name;
        std::function<void(TServerConnection&)> Reply; // to the request, or to LISTGAMES
        std::string Expected;
        bool ToGameList = false;
    };
    const std::vector<TCase> cases{
        {"four streams", [](TServerConnection& s) { s.WriteInt32(4); },
         "Connection wanting to send to many streams."},
        {"unknown stream type",
         [](TServerConnection& s) {
             Header(s, {{2, 0, 10}});
         },
         "Connection announced a stream of unknown type 2."},
        {"two demo streams",
         [](TServerConnection& s) {
             Header(s, {{0, 0, 10}, {0, 0, 10}});
         },
         "Connection announced two streams of the same type."},
        {"negative length",
         [](TServerConnection& s) {
             Header(s, {{1, 0, -1}});
         },
         "Connection announced a stream of -1 bytes."},
        {"huge length",
         [](TServerConnection& s) {
             Header(s, {{1, 0, 0x7fffffff}});
         },
         "Connection announced a stream of 2147483647 bytes."},
        {"data for a slot the section lacks",
         [](TServerConnection& s) {
             Header(s, {{1, 0, 10}});
             Data(s, 1, "x");
         },
         "Connection tried to write to invalid stream index."},
        {"data for an ended slot",
         [](TServerConnection& s) {
             Header(s, {{0, 0, 0}, {1, 0, 10}});
             End(s, 0);
             Data(s, 0, "x");
         },
         "Connection tried to write to invalid stream index."},
        {"repeated end marker",
         [](TServerConnection& s) {
             Header(s, {{0, 0, 0}, {1, 0, 10}});
             End(s, 0);
             End(s, 0);
         },
         "Connection tried to write to invalid stream index."},
        {"end before the announced length",
         [](TServerConnection& s) {
             Header(s, {{1, 0, 10}});
             Data(s, 0, "01234");
             End(s, 0);
         },
         "Stream 0 of section 0 ended after 5 of its 10 bytes."},
        {"negative block size",
         [](TServerConnection& s) {
             Header(s, {{1, 0, 10}});
             s.WriteInt32(0);
             s.WriteInt32(0);
             s.WriteInt32(-5);
         },
         "Invalid block size -5."},
        {"block beyond the announced length",
         [](TServerConnection& s) {
             Header(s, {{1, 0, 10}});
             Data(s, 0, "0123456789");
             Data(s, 0, "!");
         },
         "Block of 1 bytes, 0 allowed."},
        {"huge block size",
         [](TServerConnection& s) {
             Header(s, {{1, 0, 10}});
             s.WriteInt32(0);
             s.WriteInt32(0);
             s.WriteInt32(0x7fffffff);
         },
         "Block of 2147483647 bytes, 10 allowed."},
        {"huge game list", [](TServerConnection& s) { s.WriteInt32(0x7fffffff); },
         "A list of 2147483647 lines, 4096 allowed.", true},
        {"negative game list", [](TServerConnection& s) { s.WriteInt32(-3); },
         "A list of -3 lines, 4096 allowed.", true},
    };
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.Name);
        TScriptedPeer peer("127.0.0.78", [&](TServerConnection& server, int index) {
            Welcome(peer, server);
            if (index == 0) {
                if (!bad.ToGameList)
                    ListGames(peer, server, {"G"});
                peer.Expect(server);
                bad.Reply(server);
            }
            ReadUntilClosed(peer, server);
        });
        TViewerProbe probe("hostile", "127.0.0.78", peer.Port());
        probe.AfterGames = [&](const std::vector<std::string>&) {
            RequestCast(probe.Viewer, "G", 0);
        };
        probe.Viewer.Start();
        ASSERT_TRUE(probe.WaitFor([&] { return probe.HasStatus(bad.Expected); }));
        ASSERT_TRUE(probe.WaitFor([&] { return peer.Connections() >= 2; }));
        EXPECT_FALSE(probe.Viewer.Finished());
        probe.Viewer.Stop();
        EXPECT_TRUE(probe.Completed.empty());
        for (const auto& entry : fs::recursive_directory_iterator(probe.Scratch))
            EXPECT_TRUE(entry.path().string().rfind(probe.Streams, 0) == 0 ||
                        entry.path().string() + "/" == probe.Streams)
                << entry.path();
    }
}

TEST(ViewerHostile, GameNamesThatWouldLeaveTheStreamsDirectoryAreRefused) {
    const std::vector<std::string> names{
        "", "..", "../escape", "a/b", "a\\b", ".hidden", "x\x01y", "/abs", std::string(200, 'n')};
    TScriptedPeer peer("127.0.0.79", [&](TServerConnection& server, int) {
        Welcome(peer, server);
        ListGames(peer, server, {});
        ReadUntilClosed(peer, server);
    });
    TViewerProbe probe("names", "127.0.0.79", peer.Port());
    probe.Viewer.Start();
    ASSERT_TRUE(probe.WaitFor([&] { return peer.Received().size() == 2; })); // hello, LISTGAMES
    int refusals = 0;
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        for (const std::uint8_t state : {vsListSections, vsRequest}) {
            probe.Viewer.SetGameName(name);
            probe.Viewer.SetViewerState(state);
            ++refusals;
            ASSERT_TRUE(probe.WaitFor([&] {
                return std::count_if(probe.Status.begin(), probe.Status.end(),
                                     [](const std::string& line) {
                                         return line.rfind("Game refused. The game name ", 0) == 0;
                                     }) == refusals &&
                       probe.Viewer.GetViewerState() == vsIdle;
            }));
        }
    }
    probe.Viewer.Stop();
    EXPECT_EQ(peer.Received().size(), 2u); // neither a section list nor a request went out
    EXPECT_TRUE(fs::is_empty(probe.Streams));
    for (const auto& entry : fs::directory_iterator(probe.Scratch))
        EXPECT_EQ(entry.path().filename(), "streams");
}

TEST(ViewerHostile, SectionsOutsideTheCastTablesAreRefused) {
    TScriptedPeer peer("127.0.0.79", [&](TServerConnection& server, int) {
        Welcome(peer, server);
        ListGames(peer, server, {"G"});
        peer.Expect(server);
        Header(server, {{1, 0, 3}});
        Data(server, 0, "ogg");
        End(server, 0);
        Header(server, {{1, 0, 3}});
        ReadUntilClosed(peer, server);
    });
    TViewerProbe probe("last", "127.0.0.79", peer.Port());
    probe.AfterGames = [&](const std::vector<std::string>&) {
        RequestCast(probe.Viewer, "G", 1024);
    };
    probe.Viewer.Start();
    ASSERT_TRUE(probe.WaitFor([&] { return probe.Viewer.Finished(); }));
    const std::vector<std::pair<std::int32_t, std::int32_t>> completed{{1024, 0}};
    EXPECT_EQ(probe.Completed, completed);
    EXPECT_TRUE(probe.HasStatus("Section 1025 is beyond the last section a cast can hold (1024)."));
    EXPECT_EQ(probe.Ended, 1);
    EXPECT_FALSE(fs::exists(probe.Streams + "G/audio_1025.ogg"));

    for (const std::int32_t start : {1025, -1}) {
        TScriptedPeer listing("127.0.0.79", [&](TServerConnection& server, int) {
            Welcome(listing, server);
            ListGames(listing, server, {"G"});
            ReadUntilClosed(listing, server);
        });
        TViewerProbe refused("outside", "127.0.0.79", listing.Port());
        refused.AfterGames = [&](const std::vector<std::string>&) {
            RequestCast(refused.Viewer, "G", start);
        };
        refused.Viewer.Start();
        ASSERT_TRUE(refused.WaitFor([&] { return refused.Viewer.Finished(); }));
        EXPECT_TRUE(refused.HasStatus("Section " + std::to_string(start) +
                                      " is outside the sections 0 to 1024 a cast can hold."));
        EXPECT_EQ(listing.Received().size(), 2u); // no request went out
    }
}
