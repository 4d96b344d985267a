#include "ServerHarness.h"

#include "net/CastNameCheck.h"

#include <gtest/gtest.h>

#include <random>

namespace fs = std::filesystem;

namespace {

std::string Hello(const char* role) {
    return Line(std::string("1.0.0.47\t") + role);
}

std::string Login(const std::string& game) {
    return Hello("2016") + Line("AUTH\t\tNEW\t" + game);
}

std::string Announce(std::int32_t section, std::int32_t demoSize, std::int32_t bodyOffset,
                     std::int32_t audioSize, std::int32_t demoKind = 0,
                     std::int32_t audioOffset = 0) {
    return Line("TRANSMIT\t2\t" + std::to_string(section)) + Int32Bytes(demoKind) +
           Int32Bytes(demoSize) + Int32Bytes(bodyOffset) + Int32Bytes(1) + Int32Bytes(audioSize) +
           Int32Bytes(audioOffset);
}

std::string Block(std::int32_t part, const std::string& bytes) {
    return Line("BLOCK") + Int32Bytes(part) + Int32Bytes(0) +
           Int32Bytes(static_cast<std::int32_t>(bytes.size())) + bytes;
}

std::string BlockHeader(std::int32_t part, std::int32_t kind) {
    return Line("BLOCK") + Int32Bytes(part) + Int32Bytes(kind);
}

// The upload of a whole cast as one stream of messages.
std::vector<std::string> UploadMessages(const std::string& game,
                                        const std::vector<TSectionParts>& sections,
                                        std::vector<std::size_t>& announceIndex) {
    std::vector<std::string> messages{Hello("2016"), Line("AUTH\t\tNEW\t" + game)};
    for (std::size_t n = 0; n < sections.size(); ++n) {
        const auto& parts = sections[n];
        announceIndex.push_back(messages.size());
        messages.push_back(Announce(static_cast<std::int32_t>(n),
                                    static_cast<std::int32_t>(parts.Demo.size()), parts.BodyOffset,
                                    static_cast<std::int32_t>(parts.Audio.size())));
        for (int p = 0; p < 2; ++p) {
            const std::string& bytes = p == 0 ? parts.Demo : parts.Audio;
            for (std::size_t at = 0; at < bytes.size(); at += 1000)
                messages.push_back(Block(p, bytes.substr(at, 1000)));
            messages.push_back(BlockHeader(p, 1));
        }
    }
    messages.push_back(Line("COMPLETED"));
    return messages;
}

class HostileInput : public ::testing::Test {
protected:
    HostileInput() : Harness("127.0.0.11", "hostile") {}

    // Sends the bytes, expects the server to close, and returns the log
    // lines of that connection.
    std::string Exchange(bool filmerPort, const std::string& bytes) {
        const std::size_t before = Harness.Log().size();
        const TRawExchange exchange = SendRaw(
            Harness.Address, filmerPort ? Harness.FilmerPort() : Harness.ViewerPort(), bytes);
        EXPECT_TRUE(exchange.Closed);
        LastReply = exchange.Reply;
        std::string log;
        const auto lines = Harness.Log();
        for (std::size_t i = before; i < lines.size(); ++i)
            log += lines[i] + "\n";
        return log;
    }

    // The server still films and shows a cast, and nothing appeared beside the
    // data directory or in it but casts.
    void ExpectServerIntact(const std::string& game) {
        const std::vector<TSectionParts> sections{MakeSection(0, true, false),
                                                  MakeSection(1, false, true, 3000, 2000)};
        auto filmer = Harness.FilmerOf(game);
        for (std::size_t n = 0; n < sections.size(); ++n)
            UploadSection(*filmer, static_cast<std::int32_t>(n), sections[n]);
        filmer->WriteLine("COMPLETED");
        auto viewer = Harness.Viewer();
        const TViewing viewing = ViewCast(*viewer, game, 0);
        ASSERT_EQ(viewing.Sections.size(), 2u);
        EXPECT_TRUE(viewing.Sections[1].Streams[0] == sections[1].Demo);
        EXPECT_EQ(viewing.End, -1);
        for (const auto& entry : fs::directory_iterator(Harness.Scratch))
            EXPECT_EQ(entry.path().filename(), "data");
        for (const auto& entry : fs::directory_iterator(Harness.DataDirectory))
            EXPECT_EQ(CastNameProblem(entry.path().filename().string()), "") << entry.path();
    }

    TServerHarness Harness;
    std::string LastReply;
};

struct THostileCase {
    const char* Name;
    bool FilmerPort;
    std::string Bytes;
    const char* Expected; // in the server's log of that connection
};

} // namespace

TEST_F(HostileInput, EveryBadMessageEndsItsConnectionWithAClearError) {
    {
        auto filmer = Harness.FilmerOf("Target");
        UploadSection(*filmer, 0, MakeSection(1, false, true, 3000, 2000));
    }
    const std::string request = Hello("1016") + Line("REQUEST\tTarget\t0\t0\tFALSE");
    const std::vector<THostileCase> cases{
        {"viewer role on the filmer port", true, Hello("1016"), "hello refused"},
        {"unknown role on the viewer port", false, Hello("9999"), "hello refused"},
        {"over-long line", true, std::string(20000, 'x'), "Max line length exceeded."},
        {"over-long line after login", true, Login("Long") + std::string(17000, 'y') + "\n",
         "Max line length exceeded."},
        {"parent directory", true, Login("../evil"), "may not begin with a dot"},
        {"dots inside", true, Login("a..b"), "may not contain \"..\""},
        {"slash", true, Login("a/b"), "path separators"},
        {"backslash", true, Login("a\\b"), "path separators"},
        {"control character", true, Login("x\x01y"), "control characters"},
        {"empty name", true, Login(""), "is empty"},
        {"long name", true, Login(std::string(300, 'n')), "longer than"},
        {"unknown mode", true, Hello("2016") + Line("AUTH\t\tMAYBE\tG"), "Unknown login mode."},
        {"command before login", true, Hello("2016") + Line("BLOCK"), "Expected a login."},
        {"unknown filmer command", true, Login("F1") + Line("DANCE"), "Unknown command."},
        {"malformed transmit", true, Login("F2") + Line("TRANSMIT\t3\t0"), "Malformed TRANSMIT"},
        {"transmit without number", true, Login("F3") + Line("TRANSMIT\t2\tabc"),
         "Malformed TRANSMIT"},
        {"section out of order", true, Login("F4") + Announce(5, 0, 0, 10), "out of order"},
        {"section beyond 1024", true, Login("F5") + Announce(1025, 0, 0, 10), "out of range"},
        {"negative section", true, Login("F6") + Announce(-1, 0, 0, 10), "out of range"},
        {"wrong part kind", true, Login("F7") + Announce(0, 0, 0, 10, 1), "announced with kind"},
        {"negative size", true, Login("F8") + Announce(0, -4, 0, 10), "out of range"},
        {"huge size", true, Login("F9") + Announce(0, 0, 0, 0x7fffffff), "out of range"},
        {"body offset inside the head", true, Login("F10") + Announce(0, 2000, 100, 10),
         "does not fit"},
        {"body offset beyond the part", true, Login("F11") + Announce(0, 2000, 2001, 10),
         "does not fit"},
        {"audio body offset", true, Login("F12") + Announce(0, 0, 0, 10, 0, 4), "does not fit"},
        {"block before transmit", true, Login("F13") + Block(0, "abc"),
         "Block before any TRANSMIT"},
        {"block for part 2", true, Login("F14") + Announce(0, 0, 0, 10) + Block(2, "abc"),
         "Block for part 2."},
        {"block of unknown kind", true, Login("F15") + Announce(0, 0, 0, 10) + BlockHeader(1, 7),
         "Block of kind 7."},
        {"negative count", true,
         Login("F16") + Announce(0, 0, 0, 10) + BlockHeader(1, 0) + Int32Bytes(-5),
         "Invalid block size -5."},
        {"huge count", true,
         Login("F17") + Announce(0, 0, 0, 10) + BlockHeader(1, 0) + Int32Bytes(0x7fffffff),
         "10 allowed."},
        {"block beyond the announced size", true,
         Login("F18") + Announce(0, 0, 0, 10) + Block(1, "0123456789") + Block(1, "x"),
         "0 allowed."},
        {"part ended early", true, Login("F19") + Announce(0, 0, 0, 10) + BlockHeader(1, 1),
         "ended after 0 of 10 bytes"},
        {"completed inside a section", true,
         Login("F20") + Announce(0, 0, 0, 10) + Line("COMPLETED"), "in the middle of a section"},
        {"announced again with other sizes", true,
         Login("F21") + Announce(0, 0, 0, 10) + Announce(0, 0, 0, 11), "with other sizes"},
        {"next section before the last ended", true,
         Login("F22") + Announce(0, 0, 0, 10) + Announce(1, 0, 0, 10), "before the previous one"},
        {"unknown viewer command", false, Hello("1016") + Line("LISTEVERYTHING"),
         "Unknown command."},
        {"malformed request", false, Hello("1016") + Line("REQUEST\tTarget\tx\t0\tFALSE"),
         "Malformed REQUEST"},
        {"request with a bad flag", false, Hello("1016") + Line("REQUEST\tTarget\t0\t0\tMAYBE"),
         "Malformed REQUEST"},
        {"start after current", false, Hello("1016") + Line("REQUEST\tTarget\t3\t2\tFALSE"),
         "out of range"},
        {"negative start", false, Hello("1016") + Line("REQUEST\tTarget\t-1\t2\tFALSE"),
         "out of range"},
        {"current far beyond", false, Hello("1016") + Line("REQUEST\tTarget\t0\t5000\tFALSE"),
         "out of range"},
        {"negative resume offset", false, request + Int32Bytes(-1) + Int32Bytes(0),
         "Resume offset -1 outside"},
        {"resume offset beyond the stream", false, request + Int32Bytes(0) + Int32Bytes(2001),
         "Resume offset 2001 outside"},
    };
    for (const auto& hostile : cases) {
        SCOPED_TRACE(hostile.Name);
        const std::string log = Exchange(hostile.FilmerPort, hostile.Bytes);
        EXPECT_NE(log.find(hostile.Expected), std::string::npos) << log;
    }
    // A refused name is told to the filmer, not only logged.
    Exchange(true, Login("a/b"));
    EXPECT_TRUE(LastReply.ends_with("\r\nFAIL\tThe game name may not contain path separators.\r\n"))
        << LastReply;
    // Looking up a name with separators only finds nothing.
    Exchange(false, Hello("1016") + Line("LISTSECTIONS\t../../etc"));
    EXPECT_NE(LastReply.find(Int32Bytes(0)), std::string::npos);
    ExpectServerIntact("Still Fine");
}

TEST_F(HostileInput, RandomBytesAfterEveryStageNeverHurtTheServer) {
    std::mt19937 random(20261207);
    const std::vector<std::string> tokens{Line("TRANSMIT\t2\t0"),
                                          Line("BLOCK"),
                                          Line("HI"),
                                          Line("COMPLETED"),
                                          Line("LISTGAMES"),
                                          Line("LISTSECTIONS\tR"),
                                          Line("REQUEST\tR\t0\t0\tFALSE"),
                                          Int32Bytes(0),
                                          Int32Bytes(1),
                                          Int32Bytes(-1),
                                          Int32Bytes(1032),
                                          Int32Bytes(0x7fffffff),
                                          "\r\n",
                                          "\t"};
    for (int round = 0; round < 120; ++round) {
        const bool filmer = round % 2 == 0;
        std::string bytes;
        switch (round % 3) {
        case 1:
            bytes = filmer ? Hello("2016") : Hello("1016");
            break;
        case 2:
            bytes = filmer ? Login("R") : Hello("1016");
            break;
        default:
            break;
        }
        const int pieces = static_cast<int>(random() % 12);
        for (int i = 0; i < pieces; ++i) {
            if (random() % 2) {
                bytes += tokens[random() % tokens.size()];
            } else {
                std::string noise(random() % 600, '\0');
                for (auto& byte : noise)
                    byte = static_cast<char>(random());
                bytes += noise;
            }
        }
        SCOPED_TRACE("round " + std::to_string(round));
        Exchange(filmer, bytes);
    }
    ExpectServerIntact("After Noise");
}

TEST_F(HostileInput, AnUploadCutAnywhereResumesToAByteIdenticalCast) {
    const std::vector<TSectionParts> sections{MakeSection(0, true, false, 0, 1500),
                                              MakeSection(1, false, true, 2500, 1800)};
    std::vector<std::size_t> announceIndex;
    const auto messages = UploadMessages("?", sections, announceIndex);
    // Cut points: every message boundary, one byte either side, and a few inside.
    std::vector<std::size_t> cuts;
    std::size_t offset = 0;
    for (const auto& message : messages) {
        cuts.insert(cuts.end(),
                    {offset + 1, offset + message.size() / 2, offset + message.size() - 1});
        offset += message.size();
    }
    int run = 0;
    for (const std::size_t cut : cuts) {
        const std::string game = "Cut " + std::to_string(run++);
        std::vector<std::size_t> unused;
        const auto upload = UploadMessages(game, sections, unused);
        std::string blob;
        for (const auto& message : upload)
            blob += message;
        SCOPED_TRACE(game + " at byte " + std::to_string(cut));
        Exchange(true, blob.substr(0, cut));

        // The filmer comes back and announces again the section it was sending.
        std::size_t current = 0;
        std::size_t before = 0;
        for (std::size_t m = 0; m < upload.size() && before < cut; before += upload[m++].size())
            for (std::size_t n = 0; n < announceIndex.size(); ++n)
                if (announceIndex[n] == m)
                    current = n;
        auto filmer = Harness.Filmer();
        if (!FilmerLogin(*filmer, "", "RESUME", game).Accepted) {
            filmer = Harness.Filmer();
            ASSERT_TRUE(FilmerLogin(*filmer, "", "NEW", game).Accepted);
        }
        for (std::size_t n = current; n < sections.size(); ++n)
            UploadSection(*filmer, static_cast<std::int32_t>(n), sections[n], 700);
        filmer->WriteLine("COMPLETED");
        auto viewer = Harness.Viewer();
        const TViewing viewing = ViewCast(*viewer, game, 0);
        ASSERT_EQ(viewing.Sections.size(), 2u);
        EXPECT_TRUE(viewing.Sections[0].Streams[1] == sections[0].Audio);
        EXPECT_TRUE(viewing.Sections[1].Streams[0] == sections[1].Demo);
        EXPECT_TRUE(viewing.Sections[1].Streams[1] == sections[1].Audio);
    }
}
