#include "EventWait.h"
#include "QtTestSupport.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesSetup.h"
#include "BuildTree.h"

#include <QDialog>
#include <QTest>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

TEST(WizardStart, WithoutAPlaybackCopyTheGameMustBeLocated) {
    ClientEnvironment env;
    auto form = env.CreateForm();
    EXPECT_EQ(form->CurrentPage(), PageLocateTribes2);
    EXPECT_EQ(form->Locate->EditTribes2Path->text(), Q(env.GameDirectory() + "Tribes2.exe"));
    EXPECT_EQ(form->Locate->LabelT2Version->text(), "25034");
    EXPECT_TRUE(form->ActionNext->isEnabled());
    EXPECT_FALSE(form->ActionBack->isEnabled());
    EXPECT_TRUE(std::filesystem::is_directory(env.Dir / "home/streams"));

    // The keyboard goes to the page's first control that takes it.
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ASSERT_EVENTUALLY(form->Locate->EditTribes2Path->hasFocus(), 20000);
}

TEST(WizardStart, TheGameExecutableIsProposedWhateverTheCaseOfItsName) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", "TRIBES2.EXE");
    auto form = env.CreateForm();
    EXPECT_EQ(form->Locate->EditTribes2Path->text(), Q(env.GameDirectory() + "TRIBES2.EXE"));
    form->ExecuteAction(form->ActionNext);
    EXPECT_EQ(form->CurrentPage(), PageInto);
}

TEST(WizardStart, WithAPlaybackCopyItOpensOnIntoWithTheViewHostFocused) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    auto form = env.CreateForm();
    EXPECT_EQ(form->CurrentPage(), PageInto);
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ASSERT_EVENTUALLY(form->Into->ComboBoxViewHost->hasFocus(), 20000);
    EXPECT_EQ(form->SelectedMode(), WizardMode::ViewServer);
    EXPECT_EQ(form->windowTitle(), "NELQ Client");
    EXPECT_EQ(form->size(), QSize(523, 375));
}

TEST(GameAcceptance, AValidExecutableMakesThePlaybackCopyAndMovesOn) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", "Tribes2.exe");
    auto form = env.CreateForm();
    form->ExecuteAction(form->ActionNext);
    EXPECT_EQ(form->CurrentPage(), PageInto);
    EXPECT_TRUE(IsValidGameExecutable(env.GameDirectory() + PlaybackExecutableName));
    EXPECT_EQ(form->Settings().ReadString("Settings", "PatchedTribes2Directory", ""),
              Q(env.GameDirectory()));

    // The next start finds the copy and skips the page.
    form.reset();
    EXPECT_EQ(env.CreateForm()->CurrentPage(), PageInto);
}

TEST(GameAcceptance, AnExecutableUnderAnotherNameInAnotherDirectoryIsAccepted) {
    ClientEnvironment env;
    std::filesystem::create_directories(env.Dir / "other");
    std::filesystem::copy_file(PeFixtureDirectory() + "/valid.exe",
                               env.Dir / "other/t2 copy.exe");
    auto form = env.CreateForm();
    form->Locate->EditTribes2Path->setText(Q(env.Dir / "other/t2 copy.exe"));
    form->ExecuteAction(form->ActionNext);
    EXPECT_EQ(form->CurrentPage(), PageInto);
    EXPECT_EQ(form->GameDirectory(), Q(env.Dir / "other/"));
    EXPECT_TRUE(std::filesystem::exists(env.Dir / "other/Tribes2DemoPlayback.exe"));
}

TEST(GameAcceptance, WrongBuildsAndThePlaybackCopyItselfAreRefused) {
    ClientEnvironment env;
    env.InstallGame("spacing.exe", "Tribes2.exe");
    env.InstallGame("valid.exe", "TRIBES2DEMOPLAYBACK.EXE");
    auto form = env.CreateForm();
    EXPECT_EQ(AnswerMessageBox([&] { form->ExecuteAction(form->ActionNext); }),
              "NELQ Client Software|Unable to locate valid Tribes 2 executable");
    EXPECT_EQ(form->CurrentPage(), PageLocateTribes2);

    form->Locate->EditTribes2Path->setText(Q(env.GameDirectory() + "TRIBES2DEMOPLAYBACK.EXE"));
    EXPECT_EQ(AnswerMessageBox([&] { form->ExecuteAction(form->ActionNext); }),
              "NELQ Client Software|Please pick the original Tribes 2 executable.");
    EXPECT_EQ(form->CurrentPage(), PageLocateTribes2);
    EXPECT_EQ(form->Settings().ReadString("Settings", "PatchedTribes2Directory", "unset"), "unset");
    EXPECT_FALSE(std::filesystem::exists(env.GameDirectory() + PlaybackExecutableName));
}

TEST(GameAcceptance, BrowseTakesAnExistingFileAndRefusesAMissingOne) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", "Tribes2.exe");
    auto form = env.CreateForm();
    const QString before = form->Locate->EditTribes2Path->text();

    // The dialog opens on the current path; cancelling it changes nothing.
    QString title;
    HandleModals([&] { form->ActionSelectT2->trigger(); },
                 [&](QWidget* modal) {
                     title = modal->windowTitle();
                     qobject_cast<QDialog*>(modal)->reject();
                 });
    EXPECT_EQ(title, "Select Tribes2.exe File");
    EXPECT_EQ(form->Locate->EditTribes2Path->text(), before);

    EXPECT_EQ(
        AnswerMessageBox([&] { form->Locate->TakeGameExecutable(Q(env.Dir / "nowhere/Tribes2.exe")); }),
        "NELQ Client Software|No file selected, the tribes2 executable must be selected");
    EXPECT_EQ(form->Locate->EditTribes2Path->text(), before);

    env.InstallGame("otherbuild.exe", "Older.exe");
    EXPECT_EQ(
        AnswerMessageBox([&] { form->Locate->TakeGameExecutable(Q(env.GameDirectory() + "Older.exe")); }),
        "");
    EXPECT_EQ(form->Locate->EditTribes2Path->text(), Q(env.GameDirectory() + "Older.exe"));
}
