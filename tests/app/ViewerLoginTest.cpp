#include "CastingServer.h"
#include "QtTestSupport.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesViewer.h"
#include "net/UnitViewerThread.h"

#include <QTest>

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
    auto viewer =
        std::make_unique<TViewerThread>(form->Sync, "1.0.0.47", env.Dir / "recordings/",
                                        env.Dir / "streams/", "127.0.0.202", server.ViewerPort());
    viewer->OnAuthRequired = [&] { form->OnAuthRequired(); };
    bool listed = false;
    viewer->OnGameList = [&](const std::vector<std::string>&) { listed = true; };
    viewer->Start();
    form->ViewerThread = std::move(viewer);

    // The server asks for a login: the page shows with the stored name.
    QTRY_COMPARE_WITH_TIMEOUT(form->CurrentPage(), int(PageAuthView), 10000);
    EXPECT_EQ(form->AuthView->EditViewerUsername->text(), "ann");
    form->AuthView->EditViewerPassword->setText("secret");
    form->ExecuteAction(form->ActionNext);
    EXPECT_EQ(form->Settings->ReadString("Settings", "ViewerPassword", ""), "secret");

    // Accepted: the connection goes on to list the games.
    QTRY_VERIFY_WITH_TIMEOUT(listed, 10000);
    form->StopAll();
    EXPECT_FALSE(form->ViewerThread);
}
