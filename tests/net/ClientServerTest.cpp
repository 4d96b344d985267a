#include "ServerHarness.h"

#include "net/UnitFilmerConnection.h"
#include "net/UnitViewerConnection.h"
#include "platform/PumpedSyncContext.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

// The client's login pieces with the least command loop on top: keep-alives
// for the filmer, a game list for the viewer.
class TKeepAliveFilmer : public TFilmerConnectionThread {
public:
    TKeepAliveFilmer(SyncContext& sync, const TServerHarness& server, const std::string& password)
        : TFilmerConnectionThread(sync, "1.0.0.47", server.Address, password, "Cast Of Two",
                                  server.FilmerPort()) {}

    std::atomic<int> Logins{0};
    std::atomic<int> Resumes{0};

protected:
    std::chrono::milliseconds PauseBeforeAttempt(bool) const override { return 20ms; }
    void FirstLoginAccepted() override {}
    void LoginResumed() override { ++Resumes; }
    void LoggedIn() override { ++Logins; }
    TAttemptEnd CommandLoop() override {
        while (SleepFor(20ms)) {
            Connection.WriteLine("HI");
            Connection.ReadLine();
        }
        return TAttemptEnd::Reconnect;
    }
};

class TListingViewer : public TViewerConnectionThread {
public:
    TListingViewer(SyncContext& sync, const TServerHarness& server)
        : TViewerConnectionThread(sync, "1.0.0.47", server.Address, server.ViewerPort()) {}

    std::vector<std::string> Games; // written by the thread before Listed is set
    std::atomic<bool> Listed{false};

protected:
    TAttemptEnd CommandLoop() override {
        while (SleepFor(10ms)) {
            if (GetViewerState() == vsLogin && !SendCredentials())
                return TAttemptEnd::EndThread;
            if (GetViewerState() == vsListGames) {
                Connection.WriteLine("LISTGAMES");
                Games = Connection.ReadLines(1000);
                Listed = true;
                SetViewerState(vsIdle);
            }
        }
        return TAttemptEnd::Reconnect;
    }
};

bool Has(const std::vector<std::string>& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

} // namespace

TEST(ClientAndServer, FilmerLogsInNewAndResumesAfterTheServerRestarts) {
    TServerOptions options;
    options.FilmPassword = "secret";
    TServerHarness server("127.0.0.14", "client-filmer", options);
    PumpedSyncContext sync;
    std::vector<std::string> status;
    auto filmer = MakeOwnedThread<TKeepAliveFilmer>(sync, server, "secret");
    filmer->OnStatus = [&](const std::string& text) { status.push_back(text); };
    filmer->Start();
    ASSERT_TRUE(sync.PumpUntil([&] { return filmer->Logins == 1; }, 10s));
    server.Restart(); // drops the connection; the cast stays on disk
    ASSERT_TRUE(sync.PumpUntil([&] { return filmer->Logins == 2; }, 10s));
    filmer->Stop();
    EXPECT_EQ(filmer->Resumes, 1);
    EXPECT_TRUE(Has(status, "Attempting Reconnection..."));
    EXPECT_TRUE(server.LogHas("logged in (RESUME) to Cast Of Two"));

    std::vector<std::string> refused;
    auto intruder = MakeOwnedThread<TKeepAliveFilmer>(sync, server, "guess");
    intruder->OnStatus = [&](const std::string& text) { refused.push_back(text); };
    intruder->Start();
    ASSERT_TRUE(sync.PumpUntil([&] { return intruder->Finished(); }, 10s));
    EXPECT_TRUE(Has(refused, "Wrong filming password."));
}

TEST(ClientAndServer, ViewerLogsInWhenAskedAndListsTheGames) {
    TServerOptions options;
    options.Viewers = {{"ann", "pw"}};
    TServerHarness server("127.0.0.15", "client-viewer", options);
    server.FilmerOf("Listed Game");
    PumpedSyncContext sync;
    auto viewer = MakeOwnedThread<TListingViewer>(sync, server);
    viewer->OnAuthRequired = [&] {
        viewer->SetUsername("ann");
        viewer->SetPassword("pw");
        viewer->SetViewerState(vsLogin);
    };
    viewer->Start();
    ASSERT_TRUE(sync.PumpUntil([&] { return viewer->Listed.load(); }, 10s));
    viewer->Stop();
    EXPECT_EQ(viewer->Games, std::vector<std::string>{"Listed Game"});
    EXPECT_TRUE(server.LogHas("viewer: logged in as ann"));
}
