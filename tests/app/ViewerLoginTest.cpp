#include "CastingServer.h"
#include "EventWait.h"
#include "QtTestSupport.h"
#include "app/UnitFormMain.h"
#include "session/ViewingRun.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesStatus.h"
#include "app/pages/PagesViewer.h"

#include <QTest>

TEST(ViewerLogin, TheLoginPageHandsTheCredentialsToTheViewerConnection) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    TServerOptions options;
    options.BindAddress = "127.0.0.202";
    options.DataDirectory = env.Dir / "casts";
    options.FilmerPort = 0;
    options.ViewerPort = 28100; // where the client looks
    options.Viewers = {{"ann", "secret"}};
    TCastingServer server(options, [](const std::string&) {});
    server.Start();

    auto form = env.CreateForm();
    form->Settings().WriteString("Settings", "ViewerUsername", "ann");
    form->SelectMode(WizardMode::ViewServer);
    form->Into->ComboBoxViewHost->setEditText("127.0.0.202");
    form->ExecuteAction(form->ActionNext);

    // The server asks for a login: the page shows with the stored name.
    ASSERT_EVENTUALLY_EQ(form->CurrentPage(), int(PageAuthView), 10000);
    EXPECT_EQ(form->AuthView->EditViewerUsername->text(), "ann");
    form->AuthView->EditViewerPassword->setText("secret");
    form->ExecuteAction(form->ActionNext);
    EXPECT_EQ(form->Settings().ReadString("Settings", "ViewerPassword", ""), "secret");

    // Accepted: the connection goes on to list the games (there are none).
    ASSERT_EVENTUALLY(form->Connecting->MemoConsole->toPlainText().contains(
                                 "No active streams"), 10000);
    form->StopAll();
    EXPECT_FALSE(form->ViewRun());
}
