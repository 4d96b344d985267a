#include "ServerHarness.h"
#include "SleepingThreads.h"
#include "WaitUntil.h"

#include "net/NelqExceptions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A cast shaped like a filming run: a fake section first, start points after
// each fake section, plain sections in between.
std::vector<TSectionParts> FilmingRun() {
    return {MakeSection(0, true, false),
            MakeSection(1, false, true),
            MakeSection(2, false, false),
            MakeSection(3, false, false),
            MakeSection(4, true, false),
            MakeSection(5, false, true),
            MakeSection(6, false, false, 70000, 40000)};
}

void Upload(TServerConnection& filmer, const std::vector<TSectionParts>& sections,
            std::size_t from = 0) {
    for (std::size_t n = from; n < sections.size(); ++n)
        UploadSection(filmer, static_cast<std::int32_t>(n), sections[n]);
}

std::array<std::int32_t, 2> SizesOf(const TSectionParts& parts) {
    return {static_cast<std::int32_t>(parts.Demo.size()),
            static_cast<std::int32_t>(parts.Audio.size())};
}

std::string BodyOf(const TSectionParts& parts) {
    return parts.Demo.empty() ? std::string()
                              : parts.Demo.substr(static_cast<std::size_t>(parts.BodyOffset));
}

// Checks what a viewer that began at `start` received: whole demo parts where
// it begins a recording (its first section, after an empty part), bodies elsewhere.
void ExpectViewed(const TViewing& viewing, const std::vector<TSectionParts>& sections,
                  std::size_t start, bool audioOnly = false) {
    ASSERT_EQ(viewing.Sections.size(), sections.size() - start);
    for (std::size_t n = start; n < sections.size(); ++n) {
        SCOPED_TRACE("section " + std::to_string(n));
        const TViewedSection& got = viewing.Sections[n - start];
        const TSectionParts& sent = sections[n];
        if (audioOnly) {
            ASSERT_EQ(got.Header.Count, 1);
            EXPECT_EQ(got.Header.Streams[0].Type, 1);
            EXPECT_EQ(got.Streams[0], sent.Audio);
            continue;
        }
        ASSERT_EQ(got.Header.Count, 2);
        EXPECT_EQ(got.Header.Streams[0].Type, 0);
        EXPECT_EQ(got.Header.Streams[1].Type, 1);
        const bool whole = n == start || sections[n - 1].Demo.empty();
        const std::string demo = whole ? sent.Demo : BodyOf(sent);
        EXPECT_EQ(got.Header.Streams[0].Length, static_cast<std::int32_t>(demo.size()));
        EXPECT_TRUE(got.Streams[0] == demo);
        EXPECT_TRUE(got.Streams[1] == sent.Audio);
    }
}

} // namespace

TEST(Server, UploadedCastIsListedAndViewedByteIdenticalFromAnyStartPoint) {
    TServerHarness harness("127.0.0.4", "view");
    const auto sections = FilmingRun();
    auto filmer = harness.FilmerOf("Game One");
    Upload(*filmer, sections);
    filmer->WriteLine("HI");
    EXPECT_FALSE(filmer->ReadLine().empty());
    filmer->WriteLine("COMPLETED");
    filmer->Disconnect();

    auto viewer = harness.Viewer();
    EXPECT_EQ(ListLines(*viewer, "LISTGAMES"), std::vector<std::string>{"Game One"});
    EXPECT_EQ(ListLines(*viewer, "LISTSECTIONS\tGame One"),
              (std::vector<std::string>{"1," + InfoText(1), "5," + InfoText(5)}));
    EXPECT_TRUE(ListLines(*viewer, "LISTSECTIONS\tNo Such Game").empty());

    const TViewing fromStart = ViewCast(*viewer, "Game One", 0);
    EXPECT_EQ(fromStart.End, -1);
    ExpectViewed(fromStart, sections, 0);
    EXPECT_EQ(fromStart.Sections[1].Header.Streams[0].Tag, sections[1].BodyOffset);

    const TViewing fromLater = ViewCast(*viewer, "Game One", 5);
    EXPECT_EQ(fromLater.End, -1);
    ExpectViewed(fromLater, sections, 5);

    const TViewing audioOnly = ViewCast(*viewer, "Game One", 2, true);
    ExpectViewed(audioOnly, sections, 2, true);
}

TEST(Server, ViewersFollowALiveCastWhetherTheyWaitFromTheStartOrJoinLate) {
    TServerHarness harness("127.0.0.5", "live");
    const auto sections = FilmingRun();
    auto filmer = harness.FilmerOf("Live");
    std::atomic<int> uploaded{0};
    auto filming = std::async(std::launch::async, [&] {
        for (std::size_t n = 0; n < sections.size(); ++n) {
            const auto offsets =
                AnnounceSection(*filmer, static_cast<std::int32_t>(n), sections[n]);
            EXPECT_EQ(offsets, (std::array<std::int32_t, 2>{0, 0}));
            for (int p = 0; p < 2; ++p) {
                const std::string& bytes = p == 0 ? sections[n].Demo : sections[n].Audio;
                for (std::size_t at = 0; at < bytes.size(); at += 4000) {
                    SendBlock(*filmer, p, bytes.substr(at, 4000));
                    std::this_thread::sleep_for(5ms);
                }
                EndPart(*filmer, p);
            }
            filmer->WriteLine("HI");
            filmer->ReadLine();
            ++uploaded;
            std::this_thread::sleep_for(50ms);
        }
        filmer->WriteLine("COMPLETED");
    });
    // Waits before the cast has a single section, sees it grow, gets the end.
    auto early = std::async(std::launch::async, [&] {
        auto viewer = harness.Viewer();
        return ViewCast(*viewer, "Live", 0);
    });
    ASSERT_TRUE(WaitUntil([&] { return uploaded >= 3; }));
    auto late = std::async(std::launch::async, [&] {
        auto viewer = harness.Viewer();
        return ViewCast(*viewer, "Live", 0);
    });
    auto laterStart = std::async(std::launch::async, [&] {
        auto viewer = harness.Viewer();
        return ViewCast(*viewer, "Live", 5);
    });
    filming.get();
    ExpectViewed(early.get(), sections, 0);
    ExpectViewed(late.get(), sections, 0);
    ExpectViewed(laterStart.get(), sections, 5);
}

TEST(Server, AFilmerDroppedInsideAPartResumesAtTheBytesTheServerHolds) {
    TServerHarness harness("127.0.0.6", "resume");
    const auto section = MakeSection(1, false, true, 30000, 8000);
    {
        auto filmer = harness.FilmerOf("Resumed");
        EXPECT_EQ(AnnounceSection(*filmer, 0, section), (std::array<std::int32_t, 2>{0, 0}));
        SendBlock(*filmer, 0, section.Demo.substr(0, 6000));
        SendBlock(*filmer, 0, section.Demo.substr(6000, 6000));
        SendBlock(*filmer, 1, section.Audio.substr(0, 3000));
        // A block cut short by the drop: its bytes never count.
        filmer->WriteLine("BLOCK");
        filmer->WriteInt32(0);
        filmer->WriteInt32(0);
        filmer->WriteInt32(6000);
        filmer->WriteLine(section.Demo.substr(12000, 1000));
        filmer->Disconnect();
    }
    {
        auto again = harness.Filmer();
        EXPECT_EQ(FilmerLogin(*again, "", "NEW", "Resumed").Reason,
                  "A game named Resumed already exists on this server.");
        auto stranger = harness.Filmer();
        EXPECT_FALSE(FilmerLogin(*stranger, "", "RESUME", "Never Filmed").Accepted);
    }
    auto filmer = harness.FilmerOf("Resumed", "RESUME");
    const auto offsets = AnnounceSection(*filmer, 0, section);
    EXPECT_EQ(offsets, (std::array<std::int32_t, 2>{12000, 3000}));
    SendBlock(*filmer, 0, section.Demo.substr(12000));
    SendBlock(*filmer, 1, section.Audio.substr(3000));
    EndPart(*filmer, 0);
    EndPart(*filmer, 1);
    // Announcing the finished section again (a drop after its end markers) asks for nothing.
    EXPECT_EQ(AnnounceSection(*filmer, 0, section), SizesOf(section));
    EndPart(*filmer, 0);
    EndPart(*filmer, 1);
    filmer->WriteLine("COMPLETED");

    auto viewer = harness.Viewer();
    ExpectViewed(ViewCast(*viewer, "Resumed", 0), {section}, 0);
}

TEST(Server, AViewerDroppedInsideASectionResumesFromWhatItHolds) {
    TServerHarness harness("127.0.0.7", "viewresume");
    const auto sections = FilmingRun();
    auto filmer = harness.FilmerOf("Partial");
    Upload(*filmer, sections);
    filmer->WriteLine("COMPLETED");

    std::vector<std::string> held;
    TSectionHeader header;
    {
        auto viewer = harness.Viewer();
        SendRequest(*viewer, "Partial", 5, 5, false);
        header = ReadSectionHeader(*viewer);
        ReceiveSection(*viewer, header, held);
        header = ReadSectionHeader(*viewer);
        int units = 0;
        held.clear();
        EXPECT_FALSE(ReceiveSection(*viewer, header, held, [&] { return ++units < 2; }));
    }
    ASSERT_FALSE(held[0].empty() && held[1].empty());
    auto viewer = harness.Viewer();
    SendRequest(*viewer, "Partial", 5, 6, false);
    const TSectionHeader repeated = ReadSectionHeader(*viewer);
    ASSERT_EQ(repeated.Count, header.Count);
    EXPECT_TRUE(ReceiveSection(*viewer, repeated, held));
    EXPECT_TRUE(held[0] == BodyOf(sections[6]));
    EXPECT_TRUE(held[1] == sections[6].Audio);
    EXPECT_EQ(ReadSectionHeader(*viewer).Count, -1);
}

TEST(Server, CastsSurviveARestartEvenHalfUploaded) {
    TServerHarness harness("127.0.0.8", "restart");
    const auto sections = FilmingRun();
    {
        auto filmer = harness.FilmerOf("Kept");
        Upload(*filmer, {sections[0], sections[1]});
        AnnounceSection(*filmer, 2, sections[2]);
        SendBlock(*filmer, 0, sections[2].Demo.substr(0, 5000));
        filmer->WriteLine("HI");
        filmer->ReadLine();
    }
    harness.Restart();
    {
        auto viewer = harness.Viewer();
        EXPECT_EQ(ListLines(*viewer, "LISTGAMES"), std::vector<std::string>{"Kept"});
        EXPECT_EQ(ListLines(*viewer, "LISTSECTIONS\tKept").size(), 1u);
    }
    auto filmer = harness.FilmerOf("Kept", "RESUME");
    EXPECT_EQ(AnnounceSection(*filmer, 2, sections[2]), (std::array<std::int32_t, 2>{5000, 0}));
    SendBlock(*filmer, 0, sections[2].Demo.substr(5000));
    SendBlock(*filmer, 1, sections[2].Audio);
    EndPart(*filmer, 0);
    EndPart(*filmer, 1);
    Upload(*filmer, sections, 3);
    filmer->WriteLine("COMPLETED");
    filmer->WriteLine("HI"); // answered only after COMPLETED was handled
    filmer->ReadLine();
    harness.Restart();

    auto viewer = harness.Viewer();
    const TViewing viewing = ViewCast(*viewer, "Kept", 0);
    EXPECT_EQ(viewing.End, -1);
    ExpectViewed(viewing, sections, 0);
    // A filmer that missed the reply after its "COMPLETED" comes back after
    // the restart: it is told the last section is held and may repeat its
    // ends and the completion, but adds nothing.
    auto late = harness.FilmerOf("Kept", "RESUME");
    EXPECT_EQ(AnnounceSection(*late, 6, sections[6]), SizesOf(sections[6]));
    EndPart(*late, 0);
    EndPart(*late, 1);
    late->WriteLine("COMPLETED");
    late->WriteLine("HI");
    EXPECT_FALSE(late->ReadLine().empty());
    EXPECT_THROW(AnnounceSection(*late, 7, sections[0]), ENelqConnectionError);
    EXPECT_TRUE(harness.LogHas("The cast has been completed."));
    ExpectViewed(ViewCast(*viewer, "Kept", 0), sections, 0);
}

TEST(Server, ASectionHeldWholeMayBeAnnouncedAndEndedAgainAfterItsSuccessor) {
    // The filmer announced section 2 and lost the connection before the
    // reply, so it does not know that section 1 arrived whole.
    TServerHarness harness("127.0.0.19", "reannounce");
    const auto sections = FilmingRun();
    {
        auto filmer = harness.FilmerOf("Again");
        Upload(*filmer, {sections[0], sections[1]});
        AnnounceSection(*filmer, 2, sections[2]);
        SendBlock(*filmer, 0, sections[2].Demo.substr(0, 700));
    }
    auto filmer = harness.FilmerOf("Again", "RESUME");
    EXPECT_EQ(AnnounceSection(*filmer, 1, sections[1]), SizesOf(sections[1]));
    EndPart(*filmer, 0);
    EndPart(*filmer, 1);
    EXPECT_EQ(AnnounceSection(*filmer, 2, sections[2]), (std::array<std::int32_t, 2>{700, 0}));
    SendBlock(*filmer, 0, sections[2].Demo.substr(700));
    SendBlock(*filmer, 1, sections[2].Audio);
    EndPart(*filmer, 0);
    EndPart(*filmer, 1);
    Upload(*filmer, sections, 3);
    filmer->WriteLine("COMPLETED");
    filmer->WriteLine("HI");
    EXPECT_FALSE(filmer->ReadLine().empty());

    auto viewer = harness.Viewer();
    const TViewing viewing = ViewCast(*viewer, "Again", 0);
    EXPECT_EQ(viewing.End, -1);
    ExpectViewed(viewing, sections, 0);
}

TEST(Server, DeletingACastTellsItsViewersAndShutsOutItsFilmer) {
    TServerHarness harness("127.0.0.9", "delete");
    const auto sections = FilmingRun();
    auto filmer = harness.FilmerOf("Doomed");
    Upload(*filmer, {sections[0], sections[1]});
    AnnounceSection(*filmer, 2, sections[2]);
    SendBlock(*filmer, 0, sections[2].Demo.substr(0, 100));

    // One viewer waits inside section 2, one for a section that never comes.
    auto inside = harness.Viewer();
    SendRequest(*inside, "Doomed", 0, 2, false);
    const TSectionHeader header = ReadSectionHeader(*inside);
    std::vector<std::string> held;
    auto insideDone = std::async(std::launch::async, [&] {
        try {
            ReceiveSection(*inside, header, held);
        } catch (const ENelqConnectionError&) {
            return true;
        }
        return false;
    });
    auto waiting = harness.Viewer();
    SendRequest(*waiting, "Doomed", 5, 5, false);
    auto waitingEnd =
        std::async(std::launch::async, [&] { return ReadSectionHeader(*waiting).Count; });
    ASSERT_TRUE(WaitUntilOtherThreadsSleep()); // the server now holds the request

    EXPECT_TRUE(harness.Server().DeleteCast("Doomed"));
    EXPECT_FALSE(harness.Server().DeleteCast("Doomed"));
    EXPECT_EQ(waitingEnd.get(), -2);
    EXPECT_TRUE(insideDone.get()); // cut off; on its next request it is told -2
    EXPECT_THROW(
        {
            filmer->WriteLine("HI");
            filmer->ReadLine();
        },
        ENelqConnectionError);
    EXPECT_FALSE(std::filesystem::exists(harness.DataDirectory / "Doomed"));

    auto viewer = harness.Viewer();
    EXPECT_TRUE(ListLines(*viewer, "LISTGAMES").empty());
    EXPECT_EQ(ViewCast(*viewer, "Doomed", 2).End, -2);
    auto back = harness.Filmer();
    EXPECT_FALSE(FilmerLogin(*back, "", "RESUME", "Doomed").Accepted);
}

TEST(Server, LoginsAreAskedForOnlyWhereConfigured) {
    TServerOptions options;
    options.FilmPassword = "film";
    options.Viewers = {{"ann", "pw1"}, {"bob", "pw2"}};
    TServerHarness harness("127.0.0.10", "logins", options);

    auto filmer = harness.Filmer();
    EXPECT_EQ(FilmerLogin(*filmer, "wrong", "NEW", "G").Reason, "Wrong filming password.");
    filmer = harness.Filmer();
    EXPECT_TRUE(FilmerLogin(*filmer, "film", "NEW", "G").Accepted);

    TServerConnection viewer;
    ASSERT_TRUE(ConnectAs(viewer, harness.Address, harness.ViewerPort(), "1016").Accepted);
    ASSERT_EQ(viewer.ReadLine(), "AUTH");
    viewer.WriteLine("ann\tpw2");
    EXPECT_EQ(ReadVerdict(viewer).Reason, "Wrong user name or password.");

    ASSERT_TRUE(ConnectAs(viewer, harness.Address, harness.ViewerPort(), "1016").Accepted);
    ASSERT_EQ(viewer.ReadLine(), "AUTH");
    viewer.WriteLine("bob\tpw2");
    EXPECT_TRUE(ReadVerdict(viewer).Accepted);
    EXPECT_EQ(ListLines(viewer, "LISTGAMES"), std::vector<std::string>{"G"});

    // A hello with another role code is refused with a reason.
    TServerConnection wrongRole;
    const TVerdict verdict = ConnectAs(wrongRole, harness.Address, harness.FilmerPort(), "1016");
    EXPECT_FALSE(verdict.Accepted);
    EXPECT_FALSE(verdict.Reason.empty());
}

TEST(Server, SilentConnectionsAreClosedAtTheLoginDeadline) {
    TServerOptions options;
    options.LoginTimeout = 300ms;
    TServerHarness harness("127.0.0.13", "deadline", options);
    TServerConnection silent;
    silent.Connect(harness.Address, harness.ViewerPort());
    silent.ReadLine();              // the greeting, then nothing from us
    auto filmer = harness.Filmer(); // says hello but never logs in
    auto viewer = harness.Viewer(); // a person may take long to type a login
    // Silent, and later than the viewer: once it is closed, the viewer's
    // deadline would have passed too.
    TServerConnection later;
    later.Connect(harness.Address, harness.ViewerPort());
    later.ReadLine();
    const auto began = std::chrono::steady_clock::now();
    EXPECT_THROW(silent.ReadLine(), ENelqConnectionError);
    EXPECT_THROW(filmer->ReadLine(), ENelqConnectionError);
    EXPECT_THROW(later.ReadLine(), ENelqConnectionError);
    EXPECT_LT(std::chrono::steady_clock::now() - began, 3s);
    EXPECT_TRUE(ListLines(*viewer, "LISTGAMES").empty());
    // The server notes an ending once the connection is closed.
    EXPECT_TRUE(WaitUntil([&] { return harness.LogHas("connection ended: no login in time"); }));
}
