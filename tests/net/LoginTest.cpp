#include "ScriptedPeer.h"
#include "SleepingThreads.h"

#include "net/UnitFilmerConnection.h"
#include "net/UnitViewerConnection.h"
#include "platform/PumpedSyncContext.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

const char* const LoginAddress = "127.0.0.3";
const char* const Version = "1.0.0.47";

// A filmer whose command loop only keeps the connection alive; its pauses
// are shortened so reconnections happen quickly.
class TTestFilmer : public TFilmerConnectionThread {
public:
    TTestFilmer(SyncContext& sync, std::uint16_t port)
        : TFilmerConnectionThread(sync, Version, LoginAddress, "pw", "Game One", port) {}

    std::vector<std::string> Hooks; // written by the thread; read after Stop

protected:
    std::chrono::milliseconds PauseBeforeAttempt(bool) const override { return 20ms; }
    void FirstLoginAccepted() override { Hooks.push_back("first"); }
    void LoginResumed() override { Hooks.push_back("resumed"); }
    void LoggedIn() override { Hooks.push_back("logged in"); }
    TAttemptEnd CommandLoop() override {
        while (SleepFor(20ms)) {
            Connection.WriteLine("HI");
            Connection.ReadLine();
        }
        return TAttemptEnd::Reconnect;
    }
};

// A viewer whose state loop lists games, logs in, waits in a section
// header and requests, enough to drive the login and the resume.
class TTestViewer : public TViewerConnectionThread {
public:
    TTestViewer(SyncContext& sync, std::uint16_t port)
        : TViewerConnectionThread(sync, Version, LoginAddress, port) {}

    std::atomic<int> Resumes{0};

protected:
    std::chrono::milliseconds PauseBeforeAttempt(bool first) const override {
        return first ? 0ms : 20ms;
    }
    void TransferResuming() override { ++Resumes; }
    TAttemptEnd CommandLoop() override {
        while (SleepFor(10ms)) {
            switch (GetViewerState()) {
            case vsLogin:
                if (!SendCredentials())
                    return TAttemptEnd::EndThread;
                break;
            case vsListGames:
                Connection.WriteLine("LISTGAMES");
                Connection.ReadLine();
                SetViewerState(vsIdle);
                break;
            case vsSectionHeader:
                Connection.WriteLine("WAITING");
                Connection.ReadLine();
                break;
            case vsRequest:
                Connection.WriteLine("REQUEST");
                SetViewerState(vsIdle);
                break;
            default:
                break;
            }
        }
        return TAttemptEnd::Reconnect;
    }
};

struct TStatusLog {
    std::vector<std::string> Lines;
    bool Has(const std::string& text) const {
        return std::find(Lines.begin(), Lines.end(), text) != Lines.end();
    }
};

void Greet(TScriptedPeer& peer, TServerConnection& server, const std::string& greeting,
           const std::string& verdict) {
    server.WriteLine(greeting);
    peer.Expect(server);
    server.WriteLine(verdict);
}

void ReadUntilClosed(TServerConnection& server) {
    for (;;)
        server.ReadLine();
}

} // namespace

TEST(Login, FilmerLogsInNewThenResumesAfterADropButNotAfterAFailureBeforeLogin) {
    TScriptedPeer peer(LoginAddress, [&](TServerConnection& server, int index) {
        if (index == 0) {
            server.WriteLine("greeting"); // then the connection drops before the login
            return;
        }
        Greet(peer, server, index == 1 ? "" : "\x01 any\tgreeting", index == 1 ? "OK\tfine" : "OK");
        peer.Expect(server);
        server.WriteLine("OK");
        if (index == 1) {
            peer.Expect(server); // one keep-alive, then the connection drops
            return;
        }
        for (;;) {
            server.ReadLine();
            server.WriteLine("HI");
        }
    });
    PumpedSyncContext sync;
    TStatusLog status;
    auto filmer = MakeOwnedThread<TTestFilmer>(sync, peer.Port());
    filmer->OnStatus = [&](const std::string& text) { status.Lines.push_back(text); };
    filmer->Start();
    ASSERT_TRUE(
        sync.PumpUntil([&] { return status.Has("Attempting to resume transfer..."); }, 10s));
    filmer->Stop();

    const auto received = peer.Received();
    ASSERT_GE(received.size(), 5u);
    EXPECT_EQ(received[0], "1.0.0.47\t2016");
    EXPECT_EQ(received[1], "AUTH\tpw\tNEW\tGame One");
    EXPECT_EQ(received[2], "HI");
    EXPECT_EQ(received[4], "AUTH\tpw\tRESUME\tGame One");
    EXPECT_EQ(filmer->Hooks,
              (std::vector<std::string>{"first", "logged in", "resumed", "logged in"}));
    // The failed first attempt is retried silently; the drop after the login is not.
    const auto reconnect =
        std::find(status.Lines.begin(), status.Lines.end(), "Attempting Reconnection...");
    ASSERT_NE(reconnect, status.Lines.end());
    EXPECT_EQ(std::count(status.Lines.begin(), status.Lines.end(), "Attempting Reconnection..."),
              1);
    EXPECT_EQ(std::count(status.Lines.begin(), reconnect, "Connected"), 2);
    EXPECT_EQ(status.Lines.front(), "Connected");
    EXPECT_EQ(status.Lines[1], "Disconnected");
    EXPECT_NE(status.Lines[2].find("onnect"), std::string::npos); // closed or reset
}

TEST(Login, RefusalsShowTheirReasonAndEndTheThreadWithoutReconnecting) {
    struct TCase {
        const char* Name;
        bool Viewer;
        std::vector<std::string> Replies; // after the greeting, one per line read
        const char* Reason;
    };
    const std::vector<TCase> cases{
        {"hello refused", false, {"NO\tServer is full"}, "Server is full"},
        {"filmer login refused",
         false,
         {"OK", "FAIL\tWrong filming password."},
         "Wrong filming password."},
        {"viewer credentials refused", true, {"OK\nAUTH", "FAIL\tUnknown user"}, "Unknown user"},
    };
    for (const auto& refusal : cases) {
        SCOPED_TRACE(refusal.Name);
        TScriptedPeer peer(LoginAddress, [&](TServerConnection& server, int) {
            server.WriteLine("greeting");
            for (const auto& reply : refusal.Replies) {
                peer.Expect(server);
                server.WriteLine(reply);
            }
            ReadUntilClosed(server);
        });
        PumpedSyncContext sync;
        TStatusLog status;
        TOwnedThread<TConnectionThread> thread;
        if (refusal.Viewer) {
            auto viewer = MakeOwnedThread<TTestViewer>(sync, peer.Port());
            viewer->OnAuthRequired = [&viewer = *viewer] {
                viewer.SetUsername("someone");
                viewer.SetViewerState(vsLogin);
            };
            thread = std::move(viewer);
        } else {
            thread = MakeOwnedThread<TTestFilmer>(sync, peer.Port());
        }
        thread->OnStatus = [&](const std::string& text) { status.Lines.push_back(text); };
        thread->Start();
        ASSERT_TRUE(sync.PumpUntil([&] { return thread->Finished(); }, 10s));
        EXPECT_EQ(peer.Connections(), 1);
        EXPECT_TRUE(status.Has(refusal.Reason));
        EXPECT_FALSE(status.Has("Attempting Reconnection..."));
        EXPECT_EQ(status.Lines.back(), "Disconnected");
    }
}

TEST(Login, ViewerAsksTheUserOnceAndSendsTheStoredLoginOnAReconnection) {
    TScriptedPeer peer(LoginAddress, [&](TServerConnection& server, int index) {
        Greet(peer, server, "welcome", "OK");
        server.WriteLine("AUTH");
        peer.Expect(server); // the credentials
        server.WriteLine("OK");
        if (index == 0) {
            peer.Expect(server); // LISTGAMES
            server.WriteLine("a game");
            peer.Expect(server); // WAITING: the viewer waits for a section header, then the drop
            return;
        }
        peer.Expect(server); // REQUEST
        ReadUntilClosed(server);
    });
    PumpedSyncContext sync;
    TStatusLog status;
    auto viewer = MakeOwnedThread<TTestViewer>(sync, peer.Port());
    int asked = 0;
    viewer->OnStatus = [&](const std::string& text) { status.Lines.push_back(text); };
    viewer->OnAuthRequired = [&] {
        ++asked;
        EXPECT_EQ(viewer->GetViewerState(), vsWaitForLogin);
        viewer->SetUsername("viewer");
        viewer->SetPassword("secret");
        viewer->SetViewerState(vsLogin);
    };
    viewer->Start();
    ASSERT_TRUE(sync.PumpUntil([&] { return peer.Received().size() >= 3; }, 10s));
    ASSERT_TRUE(sync.PumpUntil([&] { return viewer->GetViewerState() == vsIdle; }, 10s));
    viewer->SetViewerState(vsSectionHeader);
    ASSERT_TRUE(sync.PumpUntil([&] { return peer.Received().size() >= 7; }, 10s));
    viewer->Stop();

    const auto received = peer.Received();
    EXPECT_EQ(received[0], "1.0.0.47\t1016");
    EXPECT_EQ(received[1], "viewer\tsecret");
    EXPECT_EQ(received[2], "LISTGAMES");
    EXPECT_EQ(received[3], "WAITING");
    EXPECT_EQ(received[5], "viewer\tsecret");
    EXPECT_EQ(received[6], "REQUEST"); // the resume target after a drop in a section
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(viewer->Resumes, 1);
    EXPECT_TRUE(status.Has("Attempting Reconnection..."));
    EXPECT_TRUE(status.Has("Attempting to resume transfer..."));
}

TEST(Login, AViewerWhoseFirstConnectionFailsStillListsTheGamesAndAsksTheUser) {
    for (const bool serverAsksForLogin : {false, true}) {
        TScriptedPeer peer(LoginAddress, [&](TServerConnection& server, int index) {
            if (index == 0)
                return; // dropped before even the greeting
            Greet(peer, server, "welcome", "OK");
            server.WriteLine(serverAsksForLogin ? "AUTH" : "GO");
            if (serverAsksForLogin) {
                peer.Expect(server); // the credentials the user gave
                server.WriteLine("OK");
            }
            peer.Expect(server); // LISTGAMES
            server.WriteLine("a game");
            ReadUntilClosed(server);
        });
        PumpedSyncContext sync;
        auto viewer = MakeOwnedThread<TTestViewer>(sync, peer.Port());
        int asked = 0;
        viewer->OnAuthRequired = [&] {
            ++asked;
            viewer->SetUsername("viewer");
            viewer->SetPassword("secret");
            viewer->SetViewerState(vsLogin);
        };
        viewer->Start();
        const std::size_t expected = serverAsksForLogin ? 3 : 2;
        ASSERT_TRUE(sync.PumpUntil([&] { return peer.Received().size() >= expected; }, 10s))
            << serverAsksForLogin;
        viewer->Stop();
        const auto received = peer.Received();
        EXPECT_EQ(received.back(), "LISTGAMES") << serverAsksForLogin;
        EXPECT_EQ(asked, serverAsksForLogin ? 1 : 0);
        if (serverAsksForLogin) {
            EXPECT_EQ(received[1], "viewer\tsecret");
        }
    }
}

TEST(Login, StoppingEndsAThreadBlockedInARead) {
    TScriptedPeer peer(LoginAddress, [](TServerConnection& server, int) { ReadUntilClosed(server); });
    PumpedSyncContext sync;
    auto filmer = MakeOwnedThread<TTestFilmer>(sync, peer.Port());
    filmer->Start();
    ASSERT_TRUE(sync.PumpUntil([&] { return peer.Connections() == 1; }, 10s));
    ASSERT_TRUE(WaitUntilOtherThreadsSleep()); // the thread now waits for the greeting
    const auto began = std::chrono::steady_clock::now();
    filmer->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - began, 1s);
    EXPECT_TRUE(filmer->Finished());
}
