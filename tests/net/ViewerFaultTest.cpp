// A viewer that downloads a cast from the real server through a relay that
// breaks its connection at each kind of boundary of the transfer.

#include "FaultRelay.h"
#include "ServerHarness.h"
#include "ViewerProbe.h"
#include "ViewerStreamMarks.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// Start point in two blocks, later section, fake section | start point, later section.
std::vector<TSectionParts> SmallCast() {
    return {MakeSection(0, false, true, 50000), MakeSection(1, false, false),
            MakeSection(2, true, false), MakeSection(3, false, true), MakeSection(4, false, false)};
}
constexpr std::size_t FilmedAtFirst = 3; // the viewer then waits, on keep-alives, for the rest

void Film(TServerHarness& server, const std::vector<TSectionParts>& sections, std::size_t first,
          std::size_t end, bool complete) {
    auto filmer = server.FilmerOf("Faults", first == 0 ? "NEW" : "RESUME");
    for (std::size_t n = first; n < end; ++n)
        UploadSection(*filmer, static_cast<std::int32_t>(n), sections[n]);
    if (complete)
        filmer->WriteLine("COMPLETED");
    filmer->WriteLine("HI"); // answered once everything before it was taken
    filmer->ReadLine();
}

// `offset` bytes after the first `pattern`, asked afresh each time: the point
// may lie beyond the bytes seen so far.
TFault::TLocator After(std::string pattern, std::size_t offset) {
    return [pattern = std::move(pattern), offset](const std::string& seen) {
        const std::size_t at = seen.find(pattern);
        return at == std::string::npos ? at : at + offset;
    };
}

// The sections the server was asked for, in order.
std::vector<int> Requests(const TServerHarness& server) {
    const std::string said = "requests Faults from section ";
    std::vector<int> sections;
    for (const std::string& line : server.Log())
        if (const std::size_t at = line.find(said); at != std::string::npos)
            sections.push_back(std::stoi(line.substr(at + said.size())));
    return sections;
}

std::string Received(const TSectionParts& parts, bool whole) {
    return whole ? parts.Demo : parts.Demo.substr(static_cast<std::size_t>(parts.BodyOffset));
}

} // namespace

TEST(ViewerFaults, EveryBrokenConnectionIsResumedAndEachSectionCompletesOnceInOrder) {
    const auto mark = [](TViewerMark kind, int occurrence, std::size_t offset) {
        return AtViewerMark(kind, occurrence, offset);
    };
    // Section 0 goes: header, demo block, audio block, demo block, audio end, demo end.
    const struct {
        const char* Name;
        TFault Fault;
        std::vector<int> Requests; // what reached the server
    } rows[] = {
        {"drop before the request", {TFaultKind::Drop, TFlow::Upstream, AtPattern("REQUEST")}, {0}},
        {"request swallowed",
         {TFaultKind::SwallowThenDrop, TFlow::Upstream, AtPattern("REQUEST")},
         {0}},
        {"drop inside the resume offsets",
         {TFaultKind::Drop, TFlow::Upstream, After("FALSE\r\n", 9)},
         {0, 0}},
        {"drop inside a section header",
         {TFaultKind::Drop, TFlow::Downstream, mark(TViewerMark::SectionHeader, 1, 6)},
         {0, 0}},
        {"drop inside a data block",
         {TFaultKind::Drop, TFlow::Downstream, mark(TViewerMark::DataBlock, 1, 100)},
         {0, 0}},
        {"data block swallowed",
         {TFaultKind::SwallowThenDrop, TFlow::Downstream, mark(TViewerMark::DataBlock, 2, 40)},
         {0, 0}},
        {"drop after an end of stream",
         {TFaultKind::Drop, TFlow::Downstream, mark(TViewerMark::StreamEnd, 1, 8)},
         {0, 0}},
        {"drop after a section's last end",
         {TFaultKind::Drop, TFlow::Downstream, mark(TViewerMark::StreamEnd, 2, 8)},
         {0, 1}},
        {"drop on a keep-alive",
         {TFaultKind::Drop, TFlow::Downstream, mark(TViewerMark::KeepAlive, 1, 2)},
         {0, 3}},
        {"stall beyond the read deadline",
         {TFaultKind::Stall, TFlow::Downstream, mark(TViewerMark::DataBlock, 1, 100), 600s},
         {0, 0}},
    };
    const auto sections = SmallCast();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TServerHarness server("127.0.0.79", "viewer-faults");
        Film(server, sections, 0, FilmedAtFirst, false);
        TFaultRelay relay("127.0.0.79", server.Address, server.ViewerPort());
        relay.FaultConnection(0, row.Fault);

        TViewerProbe probe("faults", "127.0.0.79", relay.Port());
        // Well above the server's keep-alive interval; far below the stall.
        probe.Viewer.SetReadTimeout(3s);
        probe.AfterGames = [&](const std::vector<std::string>&) {
            RequestCast(probe.Viewer, "Faults", 0);
        };
        probe.Viewer.Start();
        ASSERT_TRUE(probe.WaitFor(
            [&] { return relay.Faults() == 1 && probe.Completed.size() >= FilmedAtFirst; }));
        Film(server, sections, FilmedAtFirst, sections.size(), true);
        ASSERT_TRUE(probe.WaitFor([&] { return probe.Viewer.Finished(); }));

        EXPECT_EQ(Requests(server), row.Requests);
        EXPECT_TRUE(probe.HasStatus("Attempting to resume transfer..."));
        EXPECT_EQ(probe.Ended, 1);
        std::vector<std::pair<std::int32_t, std::int32_t>> completed;
        for (std::size_t n = 0; n < sections.size(); ++n) {
            completed.emplace_back(static_cast<std::int32_t>(n), sections[n].BodyOffset);
            const std::string name = std::to_string(n);
            // Whole where a recording begins: at the start and after the empty part.
            const bool whole = n == 0 || sections[n - 1].Demo.empty();
            EXPECT_TRUE(probe.File("Faults", "demo_" + name + ".rec") ==
                        Received(sections[n], whole))
                << n;
            EXPECT_TRUE(probe.File("Faults", "audio_" + name + ".ogg") == sections[n].Audio) << n;
        }
        EXPECT_EQ(probe.Completed, completed);
    }
}
