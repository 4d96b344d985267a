#include "QtTestSupport.h"
#include "StaticTextFit.h"
#include "app/UnitFormAbout.h"
#include "app/UnitFormFolderSelect.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesFilmer.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesViewer.h"

#include <QApplication>

// Run offscreen and, with QT_QPA_PLATFORM=xcb, on the test display: the fonts
// and resolution of both decide whether a text fits.

namespace {

QStringList ProblemsOn(QWidget* window, const QString& where) {
    QApplication::processEvents(); // pending layout requests settle first
    QStringList problems;
    for (const QString& problem : StaticTextProblems(window))
        problems << where + QStringLiteral(": ") + problem;
    return problems;
}

// Shows every control a page can show at once (panels, lists that depend on a
// choice, sub-pages), one state after another.
QStringList ProblemsOnPage(TFormMain& form, int page) {
    form.ShowPage(page);
    const QString name = form.NotebookMain->widget(page)->objectName();
    QStringList problems = ProblemsOn(&form, name);
    switch (page) {
    case PageSectionPick:
        form.SectionPick->RadioButtonPickPlayFromLaterPoint->setChecked(true);
        form.SectionPick->ApplyRadioButtonRule();
        problems << ProblemsOn(&form, name + QStringLiteral(" (later point)"));
        break;
    case PageFilming:
        for (QWidget* w : std::initializer_list<QWidget*>{
                 form.Filming->PanelAudioRecording, form.Filming->PanelDemoRecording,
                 form.Filming->PanelPleaseWait, form.Filming->ButtonStopFilming,
                 form.Filming->ButtonMusicMixer})
            w->show();
        problems << ProblemsOn(&form, name + QStringLiteral(" (recording)"));
        break;
    case PageViewing:
        form.Viewing->PanelPaused->show();
        for (int sub = 0; sub < form.Viewing->NotebookViewing->count(); ++sub) {
            form.Viewing->NotebookViewing->setCurrentIndex(sub);
            problems << ProblemsOn(
                &form,
                name + QStringLiteral(" (paused, %1)")
                           .arg(form.Viewing->NotebookViewing->currentWidget()->objectName()));
        }
        break;
    default:
        break;
    }
    return problems;
}

// On the test display only when there is one.
class StaticTexts : public ::testing::Test {
protected:
    void SetUp() override {
        if (qgetenv("QT_QPA_PLATFORM") == "xcb" && qgetenv("DISPLAY").isEmpty())
            GTEST_SKIP() << "no display (source scripts/test-env start)";
    }
};

} // namespace

TEST_F(StaticTexts, TheVersionLabelLeavesTheInstructionReadable) {
    ClientEnvironment env; // no game installed: the client opens on "Locate Tribes2"
    auto form = env.CreateForm();
    form->show();
    ASSERT_EQ(form->CurrentPage(), PageLocateTribes2);
    ASSERT_EQ(form->Locate->LabelT2Version->text(), "25034");
    const QStringList problems = ProblemsOn(form.get(), "Locate Tribes2");
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
}

TEST_F(StaticTexts, EveryPageShowsItsTextsWhole) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    auto form = env.CreateForm();
    form->show();
    ASSERT_EQ(form->size(), QSize(523, 375));
    QStringList problems;
    for (int page = 0; page < PageCount; ++page)
        problems << ProblemsOnPage(*form, page);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    EXPECT_EQ(form->size(), QSize(523, 375));
}

TEST_F(StaticTexts, TheDialogsShowTheirTextsWhole) {
    EnsureApplication();
    TFormAbout about;
    about.show();
    QStringList problems = ProblemsOn(&about, "About");
    TFormFolderSelect folders;
    folders.show();
    problems << ProblemsOn(&folders, "Select Folder");
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
}
