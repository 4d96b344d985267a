#include "QtTestSupport.h"
#include "app/UnitFormAbout.h"
#include "app/UnitFormFolderSelect.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesFilmer.h"
#include "app/pages/PagesSetup.h"

#include <QDir>
#include <QFileSystemModel>
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

namespace {

// The folder's row lies inside the tree's visible area.
bool ShownInTree(const TFormFolderSelect& dialog, const QString& folder) {
    const auto* model = static_cast<const QFileSystemModel*>(dialog.SystemTreeViewMain->model());
    const QRect row = dialog.SystemTreeViewMain->visualRect(model->index(folder));
    return !row.isEmpty() && dialog.SystemTreeViewMain->viewport()->rect().contains(row);
}

} // namespace

// A folder handed in is shown selected; one that does not exist yet shows the
// nearest folder above it, opened, with nothing selected.
TEST(FolderSelect, ThePresetFolderOrItsNearestParentIsShownInView) {
    EnsureApplication();
    struct Case {
        const char* Name;
        const char* Existing; // made under the scratch directory
        const char* Preset;
        const char* Shown;
    };
    for (const Case& c : {Case{"exists", "a/b", "a/b", "a/b"}, Case{"parent only", "a", "a/b", "a"},
                          Case{"nothing under it", "", "x/y/z", ""}}) {
        SCOPED_TRACE(c.Name);
        ScratchDir dir;
        std::filesystem::create_directories(dir / c.Existing);
        const QString root = QString::fromStdString(dir.Path.string());
        const QString shown = QDir::cleanPath(root + '/' + c.Shown);
        TFormFolderSelect dialog;
        dialog.SelectedFolder = root + '/' + c.Preset;
        dialog.show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return ShownInTree(dialog, shown); }, 20000));
        const bool exists = std::string_view(c.Existing) == c.Preset;
        EXPECT_EQ(dialog.SelectedPath(), exists ? shown : QString());
        EXPECT_EQ(dialog.EditDirectory->text(), exists ? shown : QString());
        const auto* model = static_cast<const QFileSystemModel*>(dialog.SystemTreeViewMain->model());
        EXPECT_TRUE(dialog.SystemTreeViewMain->isExpanded(model->index(shown)) || exists);
    }
}

TEST(FolderSelect, NewFolderMakesTheFolderInTheSelectedOneOrSaysWhyNot) {
    EnsureApplication();
    ScratchDir dir;
    std::filesystem::create_directories(dir / "recordings");
    const QString recordings = QString::fromStdString(dir / "recordings");
    TFormFolderSelect dialog;
    dialog.SelectedFolder = recordings;
    dialog.show();
    ASSERT_TRUE(dialog.ButtonNewFolder->isEnabled());

    EXPECT_TRUE(dialog.CreateFolder("cast one"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "recordings/cast one"));
    EXPECT_EQ(dialog.SelectedPath(), recordings + "/cast one");
    EXPECT_TRUE(QTest::qWaitFor([&] { return ShownInTree(dialog, recordings + "/cast one"); },
                                20000));

    // Refused, with the reason: nothing else is made.
    const auto* model = static_cast<const QFileSystemModel*>(dialog.SystemTreeViewMain->model());
    dialog.SystemTreeViewMain->setCurrentIndex(model->index(recordings));
    const std::pair<QString, QString> refusals[] = {
        {"a/b", "must not contain \"/\""}, {"..", "must not contain \"/\""},
        {"cast one", "already exists"}};
    for (const auto& [name, reason] : refusals) {
        bool made = true;
        const QString message = AnswerMessageBox([&] { made = dialog.CreateFolder(name); });
        EXPECT_FALSE(made) << name.toStdString();
        EXPECT_TRUE(message.contains(reason)) << message.toStdString();
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "recordings/a"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "recordings"),
                            std::filesystem::directory_iterator()),
              1);

    // The selected folder went away meanwhile: the system's reason is shown.
    dialog.SystemTreeViewMain->setCurrentIndex(model->index(recordings + "/cast one"));
    std::filesystem::remove(dir / "recordings/cast one");
    const QString message = AnswerMessageBox([&] { EXPECT_FALSE(dialog.CreateFolder("late")); });
    EXPECT_TRUE(message.contains("Could not create the folder")) << message.toStdString();
    EXPECT_TRUE(message.contains("No such file or directory")) << message.toStdString();
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

// A long path is shown from its start, where paths differ, also when the same
// path is set again.
TEST(PathFields, ShowTheStartOfALongPath) {
    ClientEnvironment env;
    auto form = env.CreateForm();
    TFormFolderSelect dialog;
    const QString path =
        QStringLiteral("/home/caster/.wine/drive_c/Dynamix/Tribes2/GameData/base/recordings/");
    for (QLineEdit* field : {form->Locate->EditTribes2Path, form->FilmOptions->EditDemoPathName,
                             dialog.EditDirectory})
        for (int time = 0; time < 2; ++time) {
            field->setText(path);
            EXPECT_EQ(field->cursorPosition(), 0) << field->objectName().toStdString();
            EXPECT_TRUE(field->isReadOnly());
        }
}
