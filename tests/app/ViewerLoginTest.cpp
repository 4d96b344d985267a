#include "CastingServer.h"
#include "QtTestSupport.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesViewer.h"
#include "net/UnitViewerConnection.h"

#include <QTest>

namespace {

// A viewer connection that only logs in when asked to and then idles.
class LoginOnlyViewer : public TViewerConnectionThread {
public:
    using TViewerConnectionThread::TViewerConnectionThread;
    ~LoginOnlyViewer() override { Stop(); }

protected:
    TAttemptEnd CommandLoop() override {
        while (SleepFor(std::chrono::milliseconds(20)))
            if (GetViewerState() == vsLogin && !SendCredentials())
                return TAttemptEnd::EndThread;
        return TAttemptEnd::Reconnect;
    }
};

} // namespace

TEST(ViewerLogin, TheLoginPageHandsTheCredentialsToTheViewerConnection) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    TServerOptions options;
    options.BindAddress = "127.0.0.202";
    options.DataDirectory = env.Dir / "casts";
    options.FilmerPort = 0;
    options.ViewerPort = 0;
    options.Viewers = {{"ann", "secret"}};
    TCastingServer server(options, [](const std::string&) {});
    server.Start();

    auto form = env.CreateForm();
    form->Settings->WriteString("Settings", "ViewerUsername", "ann");
    auto viewer = std::make_unique<LoginOnlyViewer>(form->Sync, "1.0.0.47", "127.0.0.202",
                                                    server.ViewerPort());
    viewer->OnAuthRequired = [&] { form->OnAuthRequired(); };
    viewer->Start();
    form->ViewerThread = std::move(viewer);

    // The server asks for a login: the page shows with the stored name.
    QTRY_COMPARE_WITH_TIMEOUT(form->CurrentPage(), int(PageAuthView), 10000);
    EXPECT_EQ(form->AuthView->EditViewerUsername->text(), "ann");
    form->AuthView->EditViewerPassword->setText("secret");
    form->ExecuteAction(form->ActionNext);
    EXPECT_EQ(form->Settings->ReadString("Settings", "ViewerPassword", ""), "secret");

    // Accepted: the connection goes on to list the games.
    QTRY_COMPARE_WITH_TIMEOUT(form->ViewerThread->GetViewerState(), std::uint8_t(vsListGames),
                              10000);
    form->StopAll();
    EXPECT_FALSE(form->ViewerThread);
}
