#include "FaultRelay.h"
#include "FilmingRun.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// How long the filmer waits for a byte to move before it makes its
// connection again: short for the test, yet far above a loaded machine's delays.
constexpr auto IdleTimeout = 3s;

std::string EndMarker(char part) {
    return std::string("BLOCK\r\n\0\0\0", 10) + part + std::string("\0\0\0\1", 4);
}
const std::string DemoEnd = EndMarker('\0');
const std::string AudioEnd = EndMarker('\1');
const std::string AnnounceOf3 = "TRANSMIT\t2\t3\r\n";
constexpr std::ptrdiff_t AnnounceBody = 24;

struct TFaultCase {
    const char* Name;
    TFault Fault;
    bool RestartServer = false; // once the fault has fired
    const char* Reason = "";    // shown when the connection gave way
};

TFault Upstream(TFaultKind kind, const std::string& pattern, int occurrence,
                std::ptrdiff_t offset) {
    return TFault{kind, TFlow::Upstream, AtPattern(pattern, occurrence, offset), {}};
}

// The names of the files that are not the same in both (binary parts make
// poor failure messages).
std::vector<std::string> DifferingFiles(const std::map<std::string, std::string>& got,
                                        const std::map<std::string, std::string>& expected) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : got)
        if (!expected.contains(name) || expected.at(name) != bytes)
            names.push_back(name);
    for (const auto& [name, bytes] : expected)
        if (!got.contains(name))
            names.push_back(name + " (missing)");
    return names;
}

// Films the same cast (FilmTwoRecordings: sections 0 and 2 and 4 fake, 1 and 3
// real) through a relay that breaks the first connection once.
void FilmThrough(const TFaultCase& row, int index,
                 const std::map<std::string, std::string>& undisturbed) {
    SCOPED_TRACE(row.Name);
    TServerHarness server("127.0.0.132", "filmer-fault-" + std::to_string(index));
    TFaultRelay relay(server.Address, server.Address, server.FilmerPort());
    relay.FaultConnection(0, row.Fault);
    TFilming filming(server.Address, relay.Port(), 4000, 2);
    filming.Thread->SetIdleTimeout(IdleTimeout);
    bool restarted = false;
    filming.OnPump = [&] {
        if (row.RestartServer && !restarted && relay.Faults() > 0) {
            server.Restart();
            restarted = true;
        }
    };
    ASSERT_NO_FATAL_FAILURE(FilmTwoRecordings(filming));

    EXPECT_EQ(relay.Faults(), 1) << "the fault never came to pass";
    EXPECT_TRUE(filming.HasStatus("Attempting to resume transfer..."));
    EXPECT_TRUE(filming.HasStatus("Stream upload Complete"));
    EXPECT_TRUE(std::any_of(
        filming.Statuses.begin(), filming.Statuses.end(),
        [&](const std::string& status) { return status.find(row.Reason) != std::string::npos; }));
    EXPECT_EQ(DifferingFiles(FilesOf(CastDirectory(server)), undisturbed),
              std::vector<std::string>{});
    EXPECT_TRUE(fs::exists(CastDirectory(server) / "completed"));
    EXPECT_TRUE(fs::is_empty(filming.Work.WithSeparator())) << "section files left behind";
}

TEST(FilmerFaults, EveryBrokenConnectionEndsInTheSameCompletedCast) {
    std::map<std::string, std::string> undisturbed;
    {
        TServerHarness server("127.0.0.131", "filmer-fault-none");
        TFilming filming(server.Address, server.FilmerPort(), 4000, 2);
        ASSERT_NO_FATAL_FAILURE(FilmTwoRecordings(filming));
        undisturbed = FilesOf(CastDirectory(server));
        ASSERT_TRUE(undisturbed.contains("completed"));
    }

    using enum TFaultKind;
    const std::vector<TFaultCase> rows{
        {"drop inside a block", Upstream(Drop, "BLOCK\r\n", 3, 100)},
        // Section 1's demo part is the second to end; section 0's is empty.
        {"drop after the last block of a part", Upstream(Drop, DemoEnd, 2, 0)},
        {"drop after a demo part's end marker", Upstream(Drop, DemoEnd, 2, DemoEnd.size())},
        {"drop after an audio part's end marker", Upstream(Drop, AudioEnd, 2, AudioEnd.size())},
        {"drop after an announce, before its reply",
         Upstream(Drop, AnnounceOf3, 1, AnnounceOf3.size() + AnnounceBody)},
        {"drop inside a keep-alive", Upstream(Drop, "HI\r\n", 1, 1)},
        {"drop inside a keep-alive's reply",
         TFault{Drop, TFlow::Downstream, AtPattern("HI\r\n", 1, 1), {}}},
        {"end markers lost in flight", Upstream(SwallowThenDrop, AudioEnd, 1, 0)},
        {"end markers lost in flight, then the server restarts",
         Upstream(SwallowThenDrop, DemoEnd, 4, 0), true},
        {"drop after COMPLETED", Upstream(Drop, "COMPLETED\r\n", 1, 11)},
        {"COMPLETED lost in flight", Upstream(SwallowThenDrop, "COMPLETED\r\n", 1, 0)},
        {"a path that goes silent",
         TFault{Stall, TFlow::Upstream, AtPattern("BLOCK\r\n", 4, 0), 90s}, false,
         "Nothing received for"},
    };
    for (std::size_t index = 0; index < rows.size(); ++index)
        FilmThrough(rows[index], static_cast<int>(index), undisturbed);
}

} // namespace
