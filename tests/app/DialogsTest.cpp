#include "QtTestSupport.h"
#include "app/UnitFormAbout.h"
#include "app/UnitFormFolderSelect.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesFilmer.h"

#include <QTest>

namespace {

// Shows the folder dialog with `preset`, lets `choose` act on it while it is
// open, and returns whether it closed with OK.
bool RunFolderDialog(TFormFolderSelect& dialog, const QString& preset,
                     const std::function<void(TFormFolderSelect&)>& choose) {
    dialog.SelectedFolder = preset;
    bool accepted = false;
    HandleModals([&] { accepted = dialog.exec() == QDialog::Accepted; },
                 [&](QWidget*) { choose(dialog); });
    return accepted;
}

} // namespace

TEST(FolderSelect, PresetFolderIsSelectedAndOkAddsTheSeparator) {
    EnsureApplication();
    ScratchDir dir;
    std::filesystem::create_directories(dir / "recordings");
    TFormFolderSelect dialog;
    QString shown;
    EXPECT_TRUE(RunFolderDialog(dialog, QString::fromStdString(dir / "recordings"),
                                [&](TFormFolderSelect& d) {
                                    shown = d.EditDirectory->text();
                                    d.ButtonOK->click();
                                }));
    EXPECT_EQ(shown, QString::fromStdString(dir / "recordings"));
    EXPECT_EQ(dialog.SelectedFolder, QString::fromStdString(dir / "recordings/"));

    // The file system's root keeps a single separator.
    EXPECT_TRUE(RunFolderDialog(dialog, "/", [](TFormFolderSelect& d) { d.ButtonOK->click(); }));
    EXPECT_EQ(dialog.SelectedFolder, "/");
}

TEST(FolderSelect, AMissingFolderOpensWithNothingSelectedAndCancelKeepsTheValue) {
    EnsureApplication();
    ScratchDir dir;
    TFormFolderSelect dialog;
    const QString gone = QString::fromStdString(dir / "gone");
    bool okEnabled = true;
    EXPECT_FALSE(RunFolderDialog(dialog, gone, [&](TFormFolderSelect& d) {
        okEnabled = d.ButtonOK->isEnabled();
        d.ButtonCancel->click();
    }));
    EXPECT_FALSE(okEnabled);
    EXPECT_EQ(dialog.SelectedFolder, gone);
}

TEST(FolderSelect, TheRecordingsBrowseStoresTheChosenFolder) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    auto form = env.CreateForm();
    TFormFolderSelect dialog;
    form->SetDialogs(nullptr, &dialog);
    std::filesystem::create_directories(env.Dir / "demos");
    form->FilmOptions->EditDemoPathName->setText(QString::fromStdString(env.Dir / "demos"));
    HandleModals([&] { form->ActionSelectRecordings->trigger(); },
                 [&](QWidget*) { dialog.ButtonOK->click(); });
    EXPECT_EQ(form->FilmOptions->EditDemoPathName->text(),
              QString::fromStdString(env.Dir / "demos/"));
    EXPECT_EQ(form->Settings().ReadString("Settings", "PatchedDemoPathName", ""),
              QString::fromStdString(env.Dir / "demos/"));
}

TEST(About, ShowsTheProgramsNameVersionAndNotice) {
    EnsureApplication();
    TFormAbout about;
    HandleModals([&] { about.exec(); }, [&](QWidget*) { about.ButtonOK->click(); });
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.LabelSoftwareName->text(), "NELQ Client Software");
    EXPECT_EQ(about.LabelVersion->text(), "Version: 1.0.0.47");
    EXPECT_TRUE(about.LabelLegalCopyright->text().startsWith("Copyright"));
    EXPECT_TRUE(about.MemoCredits->toPlainText().contains("libvorbis"));
}
