#include "ServerHarness.h"
#include "ViewerProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// Uploads the sections as a filmer would and, when `complete`, ends the cast.
void Film(TServerHarness& server, const std::string& game,
          const std::vector<TSectionParts>& sections, bool complete, const char* mode = "NEW",
          std::size_t first = 0) {
    auto filmer = server.FilmerOf(game, mode);
    for (std::size_t n = first; n < sections.size(); ++n)
        UploadSection(*filmer, static_cast<std::int32_t>(n), sections[n]);
    if (complete)
        filmer->WriteLine("COMPLETED");
    filmer->WriteLine("HI"); // answered once everything before it was taken
    filmer->ReadLine();
}

// Start point, later section, fake section, start point after the fake one.
std::vector<TSectionParts> FourSections() {
    return {MakeSection(0, false, true, 50000), MakeSection(1, false, false),
            MakeSection(2, true, false), MakeSection(3, false, true)};
}

std::string Body(const TSectionParts& parts) {
    return parts.Demo.substr(static_cast<std::size_t>(parts.BodyOffset));
}

} // namespace

TEST(ViewerThread, ListsAndReceivesAWholeCastFromAServer) {
    TServerHarness server("127.0.0.71", "viewer-whole");
    const auto sections = FourSections();
    Film(server, "Whole Cast", sections, true);

    TViewerProbe probe("whole", server.Address, server.ViewerPort());
    probe.AfterGames = [&](const std::vector<std::string>&) {
        probe.Viewer.SetGameName("Whole Cast");
        probe.Viewer.SetViewerState(vsListSections);
    };
    probe.AfterSections = [&](const std::vector<std::string>&) {
        RequestCast(probe.Viewer, "Whole Cast", 0);
    };
    probe.Viewer.Start();
    ASSERT_TRUE(probe.WaitFor([&] { return probe.Viewer.Finished(); }));

    ASSERT_EQ(probe.GameLists.size(), 1u);
    EXPECT_EQ(probe.GameLists[0], std::vector<std::string>{"Whole Cast"});
    ASSERT_EQ(probe.SectionLists.size(), 1u);
    EXPECT_EQ(probe.SectionLists[0].size(), 2u); // the two start points
    EXPECT_EQ(probe.AuthAsked, 0);
    EXPECT_EQ(probe.Ended, 1);
    EXPECT_EQ(probe.Status.front(), "Connected");
    EXPECT_TRUE(probe.HasStatus("Streams completed"));
    EXPECT_FALSE(probe.HasStatus("Attempting Reconnection..."));

    // The demo tag is the body offset; a fake section has none.
    const std::vector<std::pair<std::int32_t, std::int32_t>> completed{{0, sections[0].BodyOffset},
                                                                       {1, sections[1].BodyOffset},
                                                                       {2, 0},
                                                                       {3, sections[3].BodyOffset}};
    EXPECT_EQ(probe.Completed, completed);
    // A recording begins whole at the start and after an empty demo part.
    EXPECT_TRUE(probe.File("Whole Cast", "demo_0.rec") == sections[0].Demo);
    EXPECT_TRUE(probe.File("Whole Cast", "demo_1.rec") == Body(sections[1]));
    EXPECT_TRUE(fs::exists(probe.Streams + "Whole Cast/demo_2.rec"));
    EXPECT_EQ(probe.File("Whole Cast", "demo_2.rec"), "");
    EXPECT_TRUE(probe.File("Whole Cast", "demo_3.rec") == sections[3].Demo);
    for (int n = 0; n < 4; ++n)
        EXPECT_TRUE(probe.File("Whole Cast", "audio_" + std::to_string(n) + ".ogg") ==
                    sections[static_cast<std::size_t>(n)].Audio)
            << n;
    // The first section's demo part came in two blocks, each reported.
    int demo0Reports = 0;
    for (const auto& report : probe.Progress)
        if (report.Section == 0 && report.Slot == 0) {
            ++demo0Reports;
            EXPECT_EQ(report.Length, static_cast<std::int32_t>(sections[0].Demo.size()));
        }
    EXPECT_EQ(demo0Reports, 3); // opened, then two blocks
    EXPECT_EQ(probe.Progress.back().Received, probe.Progress.back().Length);
}

TEST(ViewerThread, ListsReplaceEachOtherAndAnEmptyServerListsNoGames) {
    TServerHarness server("127.0.0.72", "viewer-lists");
    TViewerProbe probe("lists", server.Address, server.ViewerPort());
    probe.Viewer.Start();
    ASSERT_TRUE(probe.WaitFor([&] { return probe.GameLists.size() == 1; }));
    EXPECT_TRUE(probe.GameLists[0].empty());
    EXPECT_EQ(probe.Viewer.GetViewerState(), vsIdle);

    Film(server, "One Start", {MakeSection(0, false, true)}, false);
    probe.Viewer.SetViewerState(vsListGames);
    ASSERT_TRUE(probe.WaitFor([&] { return probe.GameLists.size() == 2; }));
    EXPECT_EQ(probe.GameLists[1], std::vector<std::string>{"One Start"});

    probe.Viewer.SetGameName("One Start");
    probe.Viewer.SetViewerState(vsListSections);
    ASSERT_TRUE(probe.WaitFor([&] { return probe.SectionLists.size() == 1; }));
    ASSERT_EQ(probe.SectionLists[0].size(), 1u); // nothing to pick: the window requests at once
    EXPECT_EQ(probe.SectionLists[0][0].substr(0, 2), "0,");
}

TEST(ViewerThread, AsksForTheLoginOnceAndResumesAfterTheServerRestarts) {
    TServerOptions options;
    options.Viewers = {{"ann", "secret"}};
    TServerHarness server("127.0.0.73", "viewer-login", options);
    const auto sections = FourSections();
    Film(server, "Restarted", {sections[0], sections[1]}, false);

    TViewerProbe probe("login", server.Address, server.ViewerPort());
    probe.AfterAuth = [&] {
        probe.Viewer.SetUsername("ann");
        probe.Viewer.SetPassword("secret");
        probe.Viewer.SetViewerState(vsLogin);
    };
    probe.AfterGames = [&](const std::vector<std::string>&) {
        RequestCast(probe.Viewer, "Restarted", 0);
    };
    probe.Viewer.Start();
    ASSERT_TRUE(probe.WaitFor([&] { return probe.Completed.size() == 2; }));

    // The viewer now waits for section 2; the server goes away and comes back.
    server.Restart();
    ASSERT_TRUE(probe.WaitFor([&] { return probe.HasStatus("Attempting to resume transfer..."); }));
    Film(server, "Restarted", sections, true, "RESUME", 2);
    ASSERT_TRUE(probe.WaitFor([&] { return probe.Viewer.Finished(); }));

    EXPECT_EQ(probe.AuthAsked, 1); // the reconnection sent the stored login
    EXPECT_EQ(probe.Ended, 1);
    ASSERT_EQ(probe.Completed.size(), 4u);
    EXPECT_EQ(probe.Completed[2].first, 2);
    EXPECT_EQ(probe.Completed[3].first, 3);
    EXPECT_TRUE(server.LogHas("requests Restarted from section 2"));
    EXPECT_TRUE(probe.File("Restarted", "demo_3.rec") == sections[3].Demo);
    const bool resumeReported =
        std::any_of(probe.Progress.begin(), probe.Progress.end(),
                    [](const auto& report) { return report.Slot == -1 && report.Section == 2; });
    EXPECT_TRUE(resumeReported);
}

TEST(ViewerThread, AudioOnlyViewingReceivesOnlyTheAudioStreams) {
    TServerHarness server("127.0.0.74", "viewer-audio");
    const auto sections = FourSections();
    Film(server, "Audio", sections, true);
    TViewerProbe probe("audio", server.Address, server.ViewerPort());
    probe.AfterGames = [&](const std::vector<std::string>&) {
        RequestCast(probe.Viewer, "Audio", 1, true);
    };
    probe.Viewer.Start();
    ASSERT_TRUE(probe.WaitFor([&] { return probe.Viewer.Finished(); }));
    const std::vector<std::pair<std::int32_t, std::int32_t>> completed{{1, 0}, {2, 0}, {3, 0}};
    EXPECT_EQ(probe.Completed, completed);
    for (int n = 1; n < 4; ++n) {
        EXPECT_TRUE(probe.File("Audio", "audio_" + std::to_string(n) + ".ogg") ==
                    sections[static_cast<std::size_t>(n)].Audio);
        EXPECT_FALSE(fs::exists(probe.Streams + "Audio/demo_" + std::to_string(n) + ".rec"));
    }
    for (const auto& report : probe.Progress)
        EXPECT_EQ(report.Type, 1);
}

TEST(ViewerThread, ASectionThatCannotBeAssembledIsReportedOnceAndTheCastGoesOn) {
    TServerHarness server("127.0.0.75", "viewer-handler");
    const auto sections = FourSections();
    Film(server, "Handler", {sections[0], sections[1], sections[2]}, true);
    TViewerProbe probe("handler", server.Address, server.ViewerPort());
    probe.AfterGames = [&](const std::vector<std::string>&) {
        RequestCast(probe.Viewer, "Handler", 0);
    };
    probe.AfterComplete = [&](std::int32_t section) {
        if (section == 1)
            throw std::runtime_error("no room left for completed.dat");
    };
    probe.Viewer.Start();
    ASSERT_TRUE(probe.WaitFor([&] { return probe.Viewer.Finished(); }));
    EXPECT_EQ(probe.CountStatus("Section 1 could not be assembled: no room left for completed.dat"),
              1);
    EXPECT_FALSE(probe.HasStatus("Attempting Reconnection..."));
    const std::vector<std::pair<std::int32_t, std::int32_t>> completed{
        {0, sections[0].BodyOffset}, {1, sections[1].BodyOffset}, {2, 0}};
    EXPECT_EQ(probe.Completed, completed);
    EXPECT_FALSE(server.LogHas("requests Handler from section 1"));
    EXPECT_TRUE(probe.File("Handler", "demo_1.rec") == Body(sections[1]));
    EXPECT_EQ(probe.Ended, 1);
}
