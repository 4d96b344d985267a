#include "ServerHarness.h"

#include "net/WireUnits.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string_view>

namespace fs = std::filesystem;

namespace {

// Far more than the socket buffers between the server and a viewer hold.
constexpr int BodySize = 8 << 20;
// What the viewer reads before the cut: the server is well into the part.
constexpr std::size_t ReadBeforeCut = 200000;

// The first fault in a viewer's raw bytes of one section's blocks, or "":
// each block must carry the filmed bytes of its stream at their place. The
// bytes may stop anywhere (the connection ended).
std::string FirstFault(std::string_view wire, const std::vector<std::string>& streams) {
    std::vector<std::size_t> got(streams.size(), 0);
    const auto next = [&wire](std::int32_t& value) {
        if (wire.size() < 4)
            return false;
        value = Wire::DecodeInt32(wire.data());
        wire.remove_prefix(4);
        return true;
    };
    std::int32_t index = 0, kind = 0, count = 0;
    while (next(index)) {
        if (index < 0)
            continue; // a keep-alive
        if (static_cast<std::size_t>(index) >= streams.size())
            return "a block for stream " + std::to_string(index);
        if (!next(kind) || kind == 1 || !next(count))
            continue;
        const auto stream = static_cast<std::size_t>(index);
        const std::string_view bytes = wire.substr(0, static_cast<std::size_t>(count));
        if (streams[stream].compare(got[stream], bytes.size(), bytes) != 0)
            return "stream " + std::to_string(index) + " differs from byte " +
                   std::to_string(got[stream]) + " on";
        got[stream] += bytes.size();
        wire.remove_prefix(bytes.size());
    }
    return "";
}

} // namespace

// A stored part cut short from outside while a viewer is sent it: that
// viewer's connection ends without a byte the filmer did not send, and the
// server goes on serving everyone else.
TEST(StoredPartCut, AViewerOfAPartCutFromOutsideIsClosedAndOthersAreServed) {
    struct TRow {
        const char* Name;
        std::function<std::uintmax_t(std::uintmax_t size)> CutTo;
    };
    const std::vector<TRow> rows = {
        {"cut to nothing", [](std::uintmax_t) { return 0; }},
        {"cut inside a page behind the bytes sent", [](std::uintmax_t) { return 100000 + 123; }},
        {"cut inside a page ahead of the bytes sent",
         [](std::uintmax_t size) { return size - 2 * 1024 * 1024 + 123; }},
    };
    const TSectionParts intact = MakeSection(1, false, true);
    const TSectionParts parts = MakeSection(2, false, true, BodySize);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TServerHarness harness("127.0.0.87", "part-cut");
        auto filmer = harness.FilmerOf("Intact");
        UploadSection(*filmer, 0, intact, 3000);
        filmer->WriteLine("COMPLETED");
        auto cutFilmer = harness.FilmerOf("Cut");
        UploadSection(*cutFilmer, 0, parts, 1 << 20);
        cutFilmer->WriteLine("HI"); // answered once the server took every block before it
        cutFilmer->ReadLine();

        // A viewer that reads slowly: the server's writes wait inside the part.
        TRawClient viewer(harness.Address, harness.ViewerPort(), 4096);
        viewer.Send(Line("1.0.0.47\t1016") + Line("REQUEST\tCut\t0\t0\tFALSE") + Int32Bytes(0) +
                    Int32Bytes(0));
        const std::string preamble =
            Line("NELQ casting server") + Line("OK") + Line("WELCOME") + Int32Bytes(2) +
            Int32Bytes(0) + Int32Bytes(parts.BodyOffset) +
            Int32Bytes(static_cast<std::int32_t>(parts.Demo.size())) + Int32Bytes(1) +
            Int32Bytes(0) + Int32Bytes(static_cast<std::int32_t>(parts.Audio.size()));
        std::string received = viewer.Receive(ReadBeforeCut);
        ASSERT_EQ(received.size(), ReadBeforeCut);

        const fs::path part = harness.DataDirectory / "Cut" / "section_0.part0";
        fs::resize_file(part, row.CutTo(fs::file_size(part)));
        received += viewer.Receive(parts.Demo.size() + parts.Audio.size() + (1 << 20));
        EXPECT_TRUE(viewer.PeerClosed);
        EXPECT_TRUE(harness.LogHas("viewer: connection ended")); // the only viewer so far
        EXPECT_LT(received.size(), parts.Demo.size());
        ASSERT_EQ(received.compare(0, preamble.size(), preamble), 0);
        EXPECT_EQ(FirstFault(std::string_view(received).substr(preamble.size()),
                             {parts.Demo, parts.Audio}),
                  "");

        // The server still serves: the cast left whole, to a new viewer.
        auto other = harness.Viewer();
        const TViewing viewing = ViewCast(*other, "Intact", 0);
        ASSERT_EQ(viewing.Sections.size(), 1u);
        EXPECT_TRUE(viewing.Sections[0].Streams[0] == intact.Demo);
        EXPECT_TRUE(viewing.Sections[0].Streams[1] == intact.Audio);
    }
}
