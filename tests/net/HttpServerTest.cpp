// The server's web side against a real server on loopback: the page, the
// JSON list, the archive and every hostile request are checked by an HTTP
// client of the tests' own (http_checks.py); the client's archive reader
// opens the downloaded archive; deletions and slow readers in the middle of
// a download.
#include "BuildTree.h"
#include "CastFixture.h"
#include "ServerHarness.h"
#include "TestSupport.h"
#include "WaitUntil.h"

#include "playback/ArchiveExtraction.h"
#include "playback/AudioLength.h"
#include "playback/OfflineViewing.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <thread>

namespace {

const std::string FinishedGame = "CTF <Final> & \"100%\"";
const std::string LiveGame = "Live 1";

// Start points, bodies and a fake section (the next one starts a recording
// again), each with real Ogg Vorbis audio so that the cast has a length.
struct TPlannedSection {
    bool Fake;
    bool StartPoint;
};
const std::vector<TPlannedSection> FinishedPlan = {
    {false, true}, {false, false}, {true, false}, {false, true}, {false, false}};

TSectionParts OggSection(const TTempDir& work, int n, const TPlannedSection& plan) {
    TSectionParts parts = MakeSection(n + 1, plan.Fake, plan.StartPoint);
    WriteOggFile(work / "audio.ogg", 1000 + 250 * n);
    parts.Audio = ReadBytes(work / "audio.ogg");
    return parts;
}

std::int64_t AudioMs(const std::string& bytes, const TTempDir& work) {
    WriteBytes(work / "length.ogg", bytes);
    return VorbisLengthMs(work / "length.ogg").value_or(-1);
}

int RunProgram(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A plain HTTP/1.0 request, so that the server closes after its answer.
std::string Request(const std::string& path) {
    return "GET " + path + " HTTP/1.0\r\nHost: test\r\n\r\n";
}

std::size_t HeaderEnd(const std::string& reply) {
    const std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string::npos : end + 4;
}

std::string Status(const std::string& reply) {
    return reply.substr(reply.find(' ') + 1, 3);
}

std::uint64_t ContentLength(const std::string& head) {
    const std::size_t at = head.find("Content-Length: ");
    return at == std::string::npos ? 0 : std::stoull(head.substr(at + 16));
}

} // namespace

TEST(HttpServer, PageListAndArchiveHoldTheCastsAndHostileRequestsGetClearAnswers) {
    TTempDir work;
    TServerHarness server("127.0.0.50", "http");
    ASSERT_TRUE(server.HttpPort());

    auto filmer = server.FilmerOf(FinishedGame);
    std::int64_t lengthMs = 0;
    for (std::size_t n = 0; n < FinishedPlan.size(); ++n) {
        const TSectionParts parts = OggSection(work, static_cast<int>(n), FinishedPlan[n]);
        UploadSection(*filmer, static_cast<std::int32_t>(n), parts);
        lengthMs += AudioMs(parts.Audio, work);
    }
    filmer->WriteLine("COMPLETED");
    // What a viewer of the whole cast gets: the archive must hold the same.
    auto viewer = server.Viewer();
    const TViewing online = ViewCast(*viewer, FinishedGame, 0);
    ASSERT_EQ(online.End, -1);
    ASSERT_EQ(online.Sections.size(), FinishedPlan.size());

    // A live cast: one section whole, the next under way, one viewer on it.
    auto liveFilmer = server.FilmerOf(LiveGame);
    UploadSection(*liveFilmer, 0, MakeSection(7, false, true));
    const TSectionParts partial = MakeSection(8, false, false);
    AnnounceSection(*liveFilmer, 1, partial);
    SendBlock(*liveFilmer, 0, partial.Demo.substr(0, 100));
    auto liveViewer = server.Viewer();
    SendRequest(*liveViewer, LiveGame, 0, 0, false);
    const TSectionHeader header = ReadSectionHeader(*liveViewer);
    std::vector<std::string> streams;
    ReceiveSection(*liveViewer, header, streams);

    const std::string archive = work / "download.qmx";
    ASSERT_EQ(RunProgram({"python3", BuildTreePath("tests/net/http_checks.py"), "--base",
                          "http://127.0.0.50:" + std::to_string(*server.HttpPort()), "--data",
                          server.DataDirectory.string(), "--finished", FinishedGame, "--live",
                          LiveGame, "--viewer-port", std::to_string(server.ViewerPort()),
                          "--length-ms", std::to_string(lengthMs), "--save", archive}),
              0);

    // The client's own reader takes the download, and it holds what the
    // viewer received online: the same parts, the same tags.
    const std::string extracted = work / "ACTIVE";
    ExtractCastArchive(archive, extracted);
    const auto sections = LoadCompletedSections(extracted + "/");
    ASSERT_EQ(sections.size(), online.Sections.size());
    for (std::size_t n = 0; n < sections.size(); ++n) {
        SCOPED_TRACE("section " + std::to_string(n));
        const TViewedSection& viewed = online.Sections[n];
        EXPECT_EQ(sections[n].Section, static_cast<std::int32_t>(n));
        EXPECT_EQ(sections[n].Tag, viewed.Header.Streams[0].Tag);
        EXPECT_EQ(ReadBytes(extracted + "/demo_" + std::to_string(n) + ".rec"), viewed.Streams[0]);
        EXPECT_EQ(ReadBytes(extracted + "/audio_" + std::to_string(n) + ".ogg"), viewed.Streams[1]);
    }
}

TEST(HttpServer, SectionsOverHttpAreTheStoredPartsWhileTheyGrowAndOnceTheyEnd) {
    TTempDir work;
    TServerHarness server("127.0.0.53", "http-sections");
    auto filmer = server.FilmerOf(FinishedGame);
    for (std::size_t n = 0; n < FinishedPlan.size(); ++n)
        UploadSection(*filmer, static_cast<std::int32_t>(n),
                      OggSection(work, static_cast<int>(n), FinishedPlan[n]));
    filmer->WriteLine("COMPLETED");

    // A live cast whose second section grows while the checks run; its
    // filmer stays connected.
    auto liveFilmer = server.FilmerOf(LiveGame);
    UploadSection(*liveFilmer, 0, MakeSection(7, false, true));
    const TSectionParts growing = MakeSection(8, false, false);
    AnnounceSection(*liveFilmer, 1, growing);
    const auto checks = [&](const std::string& phase, std::size_t available,
                            std::size_t followedTo) {
        return RunProgram({"python3", BuildTreePath("tests/net/section_checks.py"), "--base",
                           "http://127.0.0.53:" + std::to_string(*server.HttpPort()), "--data",
                           server.DataDirectory.string(), "--finished", FinishedGame, "--live",
                           LiveGame, "--phase", phase, "--available", std::to_string(available),
                           "--followed-to", std::to_string(followedTo)});
    };
    SendBlock(*liveFilmer, 0, growing.Demo.substr(0, 100));
    EXPECT_EQ(checks("live", 100, 0), 0);
    SendBlock(*liveFilmer, 0, growing.Demo.substr(100, 500));
    EXPECT_EQ(checks("grown", 600, 100), 0);
    SendBlock(*liveFilmer, 0, growing.Demo.substr(600));
    EndPart(*liveFilmer, 0);
    SendBlock(*liveFilmer, 1, growing.Audio);
    EndPart(*liveFilmer, 1);
    EXPECT_EQ(checks("ended", growing.Demo.size(), 600), 0);
}

TEST(HttpServer, SlowReadersHoldNoSlotAndADeletedCastEndsItsDownloadsWithAnError) {
    TServerOptions options;
    options.MaxConnections = 2; // one filmer and one viewer: a download must take neither
    options.FilmerSlots = 1;
    TServerHarness server("127.0.0.51", "http-slow", options);
    const std::uint16_t port = *server.HttpPort();
    {
        // One part bigger than what the kernel buffers hold for a reader
        // that stopped: the download is in the middle of a part that it
        // holds open when the cast goes.
        auto filmer = server.FilmerOf("BIG");
        UploadSection(*filmer, 0, MakeSection(1, false, true, 9000, 16 << 20), 32768);
        filmer->WriteLine("COMPLETED");
        filmer->Disconnect();
        ASSERT_TRUE(WaitUntil([&] { return server.LogHas("filmer: connection ended"); }));
    }
    // Readers that stop reading, then read on later.
    std::vector<std::unique_ptr<TRawClient>> readers;
    for (int i = 0; i < 4; ++i) {
        readers.push_back(std::make_unique<TRawClient>(server.Address, port, 4096));
        readers.back()->Send(Request(i < 2 ? "/casts/BIG.qmx" : "/casts/BIG/0/audio"));
    }
    const std::string head = readers[0]->Receive(4096);
    ASSERT_NE(HeaderEnd(head), std::string::npos) << head;
    ASSERT_EQ(Status(head), "200");
    const std::uint64_t length = ContentLength(head.substr(0, HeaderEnd(head)));
    EXPECT_GT(length, 16u << 20);

    // Filming and viewing go on meanwhile, on the slots the server has.
    auto filmer = server.FilmerOf("AFTER");
    const TSectionParts parts = MakeSection(9, false, true);
    UploadSection(*filmer, 0, parts);
    filmer->WriteLine("COMPLETED");
    auto viewer = server.Viewer();
    const TViewing viewing = ViewCast(*viewer, "AFTER", 0);
    ASSERT_EQ(viewing.Sections.size(), 1u);
    EXPECT_EQ(viewing.Sections[0].Streams[1], parts.Audio);

    ASSERT_TRUE(server.Server().DeleteCast("BIG"));
    for (std::size_t i = 0; i < readers.size(); ++i) {
        const std::string reply =
            (i == 0 ? head : std::string()) + readers[i]->Receive(std::size_t{64} << 20);
        EXPECT_TRUE(readers[i]->PeerClosed);
        const std::size_t end = HeaderEnd(reply);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(Status(reply), "200");
        EXPECT_LT(reply.size() - end, ContentLength(reply.substr(0, end)))
            << "a download of a deleted cast ran to its end: " << reply.substr(0, end);
    }
    EXPECT_TRUE(server.LogHas("the download of BIG was cut"));
    for (const char* path : {"/casts/BIG.qmx", "/casts/BIG/index.json", "/casts/BIG/0/audio"}) {
        TRawClient after(server.Address, port);
        after.Send(Request(path));
        EXPECT_EQ(Status(after.Receive(12)), "404") << path;
    }
}

TEST(HttpServer, ViewerAccountsGuardTheWebSideToo) {
    TServerOptions options;
    options.Viewers = {{"ann", "secret"}};
    TServerHarness server("127.0.0.52", "http-accounts", options);
    const struct {
        const char* Authorization; // base64 of USER:PASSWORD
        const char* Status;
    } cases[] = {
        {nullptr, "401"},
        {"Basic YW5uOnNlY3JldA==", "200"}, // ann:secret
        {"Basic YW5uOnNlY3JldHg=", "401"}, // ann:secretx
        {"Basic Ym9iOnNlY3JldA==", "401"}, // bob:secret
        {"Basic YW5u", "401"},             // ann, no password
        {"Basic !!!", "401"},
    };
    for (const auto& check : cases) {
        for (const char* path : {"/", "/casts.json", "/casts/NONE.qmx", "/casts/NONE/index.json",
                                 "/casts/NONE/0/demo"}) {
            SCOPED_TRACE(std::string(path) + " " +
                         (check.Authorization ? check.Authorization : "-"));
            TRawClient client(server.Address, *server.HttpPort());
            std::string request = "GET " + std::string(path) + " HTTP/1.0\r\n";
            if (check.Authorization)
                request += "Authorization: " + std::string(check.Authorization) + "\r\n";
            client.Send(request + "\r\n");
            const std::string reply = client.Receive(1 << 16);
            const std::string expected =
                check.Status == std::string("200") && std::string(path).starts_with("/casts/")
                    ? "404"
                    : check.Status;
            EXPECT_EQ(Status(reply), expected);
            if (expected == "401") {
                EXPECT_NE(reply.find("WWW-Authenticate: Basic"), std::string::npos);
            }
        }
    }
}
