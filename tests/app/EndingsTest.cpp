// How a journey that stops on the "Connecting" page ends: the console's last
// line says what happened and what to do, and the caption under it says the
// same briefly. The finished cast and the finished upload are shown by the
// journeys' own tests; these are the ways a run stops short.

#include "CastingServer.h"
#include "EventWait.h"
#include "QtTestSupport.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesFilmer.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesStatus.h"
#include "app/pages/PagesViewer.h"
#include "net/OpeningExchange.h"

#include <QTest>

#include <functional>
#include <memory>
#include <optional>

namespace {

struct EndingCase {
    const char* Name;
    // The casting server on 127.0.0.215, if there is one.
    std::optional<TServerOptions> Server;
    // Walks the wizard from "Into" to the run.
    std::function<void(TFormMain&)> Start;
    bool Films; // the capture needs the test sound server
    const char* LastLine;
    const char* Caption;
};

TServerOptions ServerWith(const std::function<void(TServerOptions&)>& set) {
    TServerOptions options;
    options.BindAddress = "127.0.0.215";
    options.FilmerPort = FilmerRole.Port; // where the client looks
    options.ViewerPort = ViewerRole.Port;
    set(options);
    return options;
}

void View(TFormMain& form, const char* host) {
    form.SelectMode(WizardMode::ViewServer);
    form.Into->ComboBoxViewHost->setEditText(QString::fromLatin1(host));
    form.ExecuteAction(form.ActionNext);
}

} // namespace

TEST(Endings, ARunThatStopsShortSaysWhatHappenedAndWhatToDo) {
    const std::vector<EndingCase> cases{
        {"login refused",
         ServerWith([](TServerOptions& o) { o.Viewers = {{"ann", "secret"}}; }),
         [](TFormMain& form) {
             View(form, "127.0.0.215");
             ASSERT_EVENTUALLY_EQ(form.CurrentPage(), int(PageAuthView), 20000);
             form.AuthView->EditViewerUsername->setText("ann");
             form.AuthView->EditViewerPassword->setText("guess");
             form.ExecuteAction(form.ActionNext);
         },
         false,
         "The server refused the login. Press Back to try again with another name or password.",
         "Login refused."},
        {"server unreachable", std::nullopt,
         [](TFormMain& form) { View(form, "127.0.0.216"); }, false,
         "The server could not be reached after 2 tries. Still trying; press Back to give up.",
         "The server cannot be reached (2 tries); still trying."},
        {"filming refused",
         ServerWith([](TServerOptions& o) { o.FilmPassword = "right"; }),
         [](TFormMain& form) {
             form.SelectMode(WizardMode::Film);
             form.Into->ComboBoxFilmHost->setEditText("127.0.0.215");
             form.ExecuteAction(form.ActionNext);
             form.FilmOptions->EditGameName->setText("FINAL");
             form.FilmOptions->EditPassword->setText("wrong");
             form.ExecuteAction(form.ActionNext);
         },
         true,
         "The server refused to take this cast (the reason is above). Press Back to try again.",
         "Filming refused."},
    };
    for (const EndingCase& c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.Films && qEnvironmentVariableIsEmpty("NELQ_TEST_AUDIO"))
            continue; // an error box about the missing sound server would wait for a click
        ClientEnvironment env;
        env.InstallGame("valid.exe", PlaybackExecutableName);
        std::unique_ptr<TCastingServer> server;
        if (c.Server) {
            TServerOptions options = *c.Server;
            options.DataDirectory = env.Dir / "casts";
            server = std::make_unique<TCastingServer>(options, [](const std::string&) {});
            server->Start();
        }
        auto form = env.CreateForm();
        c.Start(*form);
        const QPlainTextEdit* console = form->Connecting->MemoConsole;
        ASSERT_EVENTUALLY(console->toPlainText().endsWith(QString::fromUtf8(c.LastLine)), 30000)
            << console->toPlainText().toStdString();
        EXPECT_EQ(form->CurrentPage(), PageConnecting);
        EXPECT_EQ(form->Connecting->LabelEnding->text(), QString::fromUtf8(c.Caption));
        EXPECT_FALSE(form->Connecting->LabelEnding->isHidden());

        // Back leaves it, and the next visit starts with a clean page.
        form->ExecuteAction(form->ActionBack);
        EXPECT_EQ(form->CurrentPage(), PageInto);
        form->ShowPage(PageConnecting);
        EXPECT_TRUE(console->toPlainText().isEmpty());
        EXPECT_TRUE(form->Connecting->LabelEnding->isHidden());
    }
}
