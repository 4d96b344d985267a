// Edges behind a real nginx cache, all real processes on loopback: an
// origin filmed by a scripted filmer, nginx with proxy_cache in front of it,
// two edges relaying through nginx and a third relaying from the first edge,
// and the client's viewer thread on each of them. Every viewer gets the
// origin's bytes, nginx fetches each ended part from the origin once, and
// the edges serve what they hold while the origin is stopped (one of them
// restarted meanwhile).
#include "BuildTree.h"
#include "ChildProcess.h"
#include "ServerHarness.h"
#include "TestSupport.h"
#include "ViewerProbe.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <regex>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string OriginAddress = "127.0.0.60";
const std::string CacheAddress = "127.0.0.63";
const std::string FinishedCast = "Done <edge>";
const std::string LiveCast = "Live";
constexpr std::uint16_t HttpPort = 28080; // every server here has an address of its own

std::string Substituted(std::string text, const std::map<std::string, std::string>& values) {
    for (const auto& [key, value] : values)
        for (std::size_t at; (at = text.find(key)) != std::string::npos;)
            text.replace(at, key.size(), value);
    return text;
}

bool Accepts(const std::string& address, std::uint16_t port) {
    try {
        TRawClient client(address, port);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

// nelq-server as a process of its own, so that it can be stopped and restarted.
struct TServerProcess {
    TServerProcess(const fs::path& scratch, std::string address, std::vector<std::string> extra)
        : Address(std::move(address)), Data(scratch / ("data-" + Address)),
          Arguments(std::move(extra)), Output(scratch / ("server-" + Address)) {
        Start();
    }
    void Start() {
        std::vector<std::string> argv = {ServerProgram(), "--bind", Address, "--data",
                                         Data.string()};
        argv.insert(argv.end(), Arguments.begin(), Arguments.end());
        Process = std::make_unique<TChildProcess>(argv, "/",
                                                  Output.string() + "-" + std::to_string(++Starts));
        EXPECT_TRUE(WaitUntil([&] { return Accepts(Address, HttpPort); }, 30s))
            << Process->Errors();
    }
    // The log of every run so far.
    std::string Log() const {
        std::string log;
        for (int run = 1; run <= Starts; ++run) {
            std::ifstream in(Output.string() + "-" + std::to_string(run) + ".err");
            log += std::string(std::istreambuf_iterator<char>(in), {});
        }
        return log;
    }

    const std::string Address;
    const fs::path Data;
    const std::vector<std::string> Arguments;
    const fs::path Output;
    int Starts = 0;
    std::unique_ptr<TChildProcess> Process;
};

struct TNginx {
    explicit TNginx(const fs::path& directory) : Directory(directory) {
        fs::create_directories(directory);
        std::ifstream in(BuildTreePath("tests/net/edge-cache.conf"));
        std::ofstream(directory / "nginx.conf")
            << Substituted(std::string(std::istreambuf_iterator<char>(in), {}),
                           {{"@DIR@", directory.string()},
                            {"@LISTEN@", CacheAddress + ":" + std::to_string(HttpPort)},
                            {"@ORIGIN@", OriginAddress + ":" + std::to_string(HttpPort)}});
        Process = std::make_unique<TChildProcess>(
            std::vector<std::string>{"/usr/sbin/nginx", "-p", directory.string() + "/", "-c",
                                     (directory / "nginx.conf").string(), "-e",
                                     (directory / "error.log").string()},
            "/", (directory / "nginx").string());
        EXPECT_TRUE(WaitUntil([&] { return Accepts(CacheAddress, HttpPort); }, 30s))
            << Process->Errors();
    }
    // Per part URL: how often it was asked for whole, how often nginx then
    // asked the origin, and the bytes of the ranges that followers asked for
    // (which go to the origin as asked).
    struct TFetches {
        int Whole = 0;
        int FromOrigin = 0;
        std::uint64_t RangeBytes = 0;
    };
    std::map<std::string, TFetches> PartFetches() const {
        std::map<std::string, TFetches> fetches;
        std::ifstream log(Directory / "access.log");
        const std::regex line(
            R"re(GET (/casts/\S+/[0-9]+/(demo|audio)\?g=\S+) ([0-9]+) "(\S+)" (\S+) ([0-9]+))re");
        for (std::string text; std::getline(log, text);) {
            std::smatch match;
            if (!std::regex_match(text, match, line))
                continue;
            TFetches& part = fetches[match[1]];
            if (match[4] == "-" && match[3] == "200") {
                ++part.Whole;
                part.FromOrigin += match[5] != "HIT";
            } else if (match[3] == "206") {
                part.RangeBytes += std::stoull(match[6]);
            }
        }
        return fetches;
    }

    const fs::path Directory;
    std::unique_ptr<TChildProcess> Process;
};

std::unique_ptr<TViewerProbe> WatchCast(const std::string& name, const std::string& address,
                                        const std::string& game) {
    auto probe = std::make_unique<TViewerProbe>(name, address, 28100);
    probe->AfterGames = [viewer = &probe->Viewer, game](const std::vector<std::string>& games) {
        if (std::find(games.begin(), games.end(), game) != games.end())
            RequestCast(*viewer, game, 0);
    };
    probe->Viewer.Start();
    return probe;
}

// What a viewer of the whole cast keeps of section n.
std::string ViewedDemo(const TSectionParts& parts, std::size_t n) {
    return n == 0 ? parts.Demo : parts.Demo.substr(static_cast<std::size_t>(parts.BodyOffset));
}

void ExpectViewed(const TViewerProbe& probe, const std::string& game,
                  const std::vector<TSectionParts>& sections, const std::string& who) {
    SCOPED_TRACE(who + " viewing " + game);
    ASSERT_EQ(probe.Completed.size(), sections.size());
    for (std::size_t n = 0; n < sections.size(); ++n) {
        const std::string name = std::to_string(n);
        EXPECT_TRUE(probe.File(game, "demo_" + name + ".rec") == ViewedDemo(sections[n], n)) << n;
        EXPECT_TRUE(probe.File(game, "audio_" + name + ".ogg") == sections[n].Audio) << n;
    }
}

std::uintmax_t PartSize(const TServerProcess& server, const std::string& game, int section,
                        int part) {
    std::error_code error;
    const auto size =
        fs::file_size(server.Data / game /
                          ("section_" + std::to_string(section) + ".part" + std::to_string(part)),
                      error);
    return error ? 0 : size;
}

} // namespace

TEST(Edge, EdgesBehindACacheServeTheOriginsBytesFetchEachEndedPartOnceAndOutliveTheOrigin) {
    TTempDir work;
    const fs::path scratch = work / "";
    const std::string cacheUrl = "http://" + CacheAddress + ":" + std::to_string(HttpPort) + "/";
    TServerProcess origin(scratch, OriginAddress, {});
    TNginx nginx(scratch / "nginx");

    // A finished cast, and a live one whose second section grows in steps.
    std::vector<TSectionParts> finished, live;
    for (int n = 0; n < 3; ++n) {
        finished.push_back(MakeSection(n + 1, false, true, 20000 + 5000 * n, 8000 + n));
        live.push_back(MakeSection(n + 11, false, true, 30000 + 1000 * n, 9000 + n));
    }
    TServerConnection filmer;
    ASSERT_TRUE(ConnectAs(filmer, OriginAddress, 28200, "2016").Accepted);
    ASSERT_TRUE(FilmerLogin(filmer, "", "NEW", FinishedCast).Accepted);
    for (std::size_t n = 0; n < finished.size(); ++n)
        UploadSection(filmer, static_cast<std::int32_t>(n), finished[n]);
    filmer.WriteLine("COMPLETED");
    filmer.Disconnect();
    // Finished before any edge looks: its parts are fetched whole, never followed.
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(origin.Data / FinishedCast / "completed"); }, 60s));

    TServerProcess edge1(scratch, "127.0.0.61", {"--relay-from", cacheUrl});
    TServerProcess edge2(scratch, "127.0.0.62", {"--relay-from", cacheUrl});
    TServerProcess edge3(scratch, "127.0.0.64", {"--relay-from", "http://127.0.0.61:28080"});
    const std::vector<TServerProcess*> edges = {&edge1, &edge2, &edge3};

    // Casts come from the origin alone.
    for (const auto* edge : edges) {
        TServerConnection refused;
        const TVerdict verdict = ConnectAs(refused, edge->Address, 28200, "2016");
        EXPECT_FALSE(verdict.Accepted) << edge->Address;
        EXPECT_EQ(verdict.Reason,
                  "This server relays the casts of another one and takes no filmers.");
    }

    std::vector<std::unique_ptr<TViewerProbe>> viewers;
    const auto pumpAll = [&](const std::function<bool()>& done) {
        return WaitUntil(
            [&] {
                for (auto& viewer : viewers)
                    viewer->Sync.ProcessPending(0ms);
                return done();
            },
            60s);
    };

    ASSERT_TRUE(ConnectAs(filmer, OriginAddress, 28200, "2016").Accepted);
    ASSERT_TRUE(FilmerLogin(filmer, "", "NEW", LiveCast).Accepted);
    UploadSection(filmer, 0, live[0]);
    AnnounceSection(filmer, 1, live[1]);
    // Viewers on every server once the cast is there.
    ASSERT_TRUE(pumpAll([&] {
        return std::all_of(edges.begin(), edges.end(), [](const TServerProcess* edge) {
            return fs::exists(edge->Data / LiveCast / "section_1.meta");
        });
    }));
    viewers.push_back(WatchCast("edge-origin", OriginAddress, LiveCast));
    for (const auto* edge : edges)
        viewers.push_back(WatchCast("edge-" + edge->Address, edge->Address, LiveCast));
    // The growing demo part reaches every edge a piece at a time.
    const std::string& growing = live[1].Demo;
    for (std::size_t sent = 0; sent < 20000;) {
        const std::size_t piece = 4000;
        SendBlock(filmer, 0, growing.substr(sent, piece));
        sent += piece;
        ASSERT_TRUE(pumpAll([&] {
            return std::all_of(edges.begin(), edges.end(), [&](const TServerProcess* edge) {
                return PartSize(*edge, LiveCast, 1, 0) == sent;
            });
        })) << "the edges follow the growing part to "
            << sent;
    }
    ASSERT_TRUE(pumpAll([&] {
        return std::all_of(viewers.begin(), viewers.end(),
                           [](const auto& viewer) { return viewer->Completed.size() == 1; }) &&
               std::all_of(edges.begin(), edges.end(), [](const TServerProcess* edge) {
                   return fs::exists(edge->Data / FinishedCast / "completed");
               });
    }));

    // The origin stops. The edges serve what they hold: the finished cast
    // to new viewers, even from an edge restarted meanwhile; the live
    // viewers stay on.
    origin.Process->Signal(SIGSTOP);
    const auto stopped = std::chrono::steady_clock::now();
    edge2.Process->Signal(SIGTERM);
    EXPECT_EQ(edge2.Process->Wait(30s), 0);
    edge2.Start();
    for (const auto* edge : edges) {
        auto late = WatchCast("late-" + edge->Address, edge->Address, FinishedCast);
        ASSERT_TRUE(late->WaitFor([&] { return late->Viewer.Finished(); })) << edge->Address;
        ExpectViewed(*late, FinishedCast, finished, "a late viewer on " + edge->Address);
    }
    // The outage lasts this long, whatever happens meanwhile.
    ASSERT_TRUE(pumpAll([&] { return std::chrono::steady_clock::now() > stopped + 20s; }));
    for (const auto* edge : {&edge1, &edge2})
        EXPECT_NE(edge->Log().find("serving what is here, trying again"), std::string::npos)
            << edge->Log();
    origin.Process->Signal(SIGCONT);

    SendBlock(filmer, 0, growing.substr(20000));
    EndPart(filmer, 0);
    SendBlock(filmer, 1, live[1].Audio);
    EndPart(filmer, 1);
    UploadSection(filmer, 2, live[2]);
    filmer.WriteLine("COMPLETED");
    ASSERT_TRUE(pumpAll([&] {
        return std::all_of(viewers.begin(), viewers.end(),
                           [](const auto& viewer) { return viewer->Viewer.Finished(); });
    }));
    for (std::size_t v = 0; v < viewers.size(); ++v) {
        ExpectViewed(*viewers[v], LiveCast, live, "viewer " + std::to_string(v));
        EXPECT_EQ(viewers[v]->Ended, 1);
    }

    // Each part asked for whole came from the origin once; the cache
    // served the other edge's asks. The finished cast's parts were asked
    // for by both edges behind the cache. A growing part's bytes reached
    // each edge behind the cache once at most.
    std::uint64_t rangeBytes = 0;
    int finishedParts = 0;
    const std::regex livePart(R"(^/casts/Live/([0-9]+)/(demo|audio)\?)");
    for (const auto& [url, count] : nginx.PartFetches()) {
        rangeBytes += count.RangeBytes;
        if (count.Whole > 0) {
            EXPECT_EQ(count.FromOrigin, 1) << url;
        }
        if (std::smatch match; std::regex_search(url, match, livePart)) {
            const TSectionParts& parts = live[std::stoul(match[1])];
            EXPECT_LE(count.RangeBytes, 2 * (match[2] == "demo" ? parts.Demo : parts.Audio).size())
                << url;
        } else {
            ++finishedParts;
            EXPECT_EQ(count.Whole, 2) << url;
            EXPECT_EQ(count.RangeBytes, 0u) << url;
        }
    }
    EXPECT_GE(rangeBytes, 2 * 20000u) << "both edges followed the growing part";
    EXPECT_EQ(finishedParts, 6);
}

// The table of an origin's faults (edge_faults.py, against an origin of its
// own): every case leaves the edge serving only the origin's bytes.
TEST(Edge, AnEdgeKeepsWhatItHasAndOnlyTheOriginsBytesWhateverTheOriginDoesWrong) {
    TTempDir work;
    TChildProcess faults({"/usr/bin/python3", BuildTreePath("tests/net/edge_faults.py"), "--server",
                          ServerProgram(), "--edge-address", "127.0.0.65", "--origin-address",
                          "127.0.0.66"},
                         BuildTreePath("tests/net"), work / "faults");
    EXPECT_EQ(faults.Wait(600s), 0) << faults.Output() << faults.Errors();
}
