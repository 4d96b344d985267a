#include "QtTestSupport.h"
#include "StaticTextFit.h"
#include "app/UnitFormAbout.h"
#include "app/UnitFormFolderSelect.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/UnitMessageBoxes.h"
#include "app/pages/PagesFilmer.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesViewer.h"
#include "mixer/UnitFormMusicMixer.h"

#include <QApplication>
#include <QMessageBox>
#include <QTabWidget>

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

// What the places for a run's state may come to say, at their longest.
const QString LongStatus = QStringLiteral(
    "Section 12 \u00b7 3:12 of 12:40 \u00b7 2 sections buffered ahead \u00b7 game playing at speed "
    "1.05");

void ShowRunState(QWidget* page) {
    for (const char* name : {"LabelEnding", "LabelPlayback", "LabelUploadBacklog"})
        for (QLabel* label : page->findChildren<QLabel*>(QString::fromLatin1(name))) {
            label->setText(LongStatus);
            label->show();
        }
}

// Shows every control a page can show at once (panels, lists that depend on a
// choice, sub-pages, the run's state), one state after another.
QStringList ProblemsOnPage(TFormMain& form, int page) {
    form.ShowPage(page);
    const QString name = form.NotebookMain->widget(page)->objectName();
    QStringList problems = ProblemsOn(&form, name);
    ShowRunState(form.NotebookMain->widget(page));
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
        problems << ProblemsOn(&form, name + QStringLiteral(" (run state)"));
        break;
    }
    return problems;
}

// The desktop's font, and a larger one that a user may have chosen.
struct DesktopFont {
    const char* Name;
    int PointSize; // 0: the desktop's own
};

void PrintTo(const DesktopFont& font, std::ostream* out) {
    *out << font.Name;
}

// On the test display only when there is one.
class StaticTexts : public ::testing::TestWithParam<DesktopFont> {
protected:
    void SetUp() override {
        if (qgetenv("QT_QPA_PLATFORM") == "xcb" && qgetenv("DISPLAY").isEmpty())
            GTEST_SKIP() << "no display (source scripts/test-env start)";
        EnsureApplication();
        Desktop = QApplication::font();
        if (GetParam().PointSize > 0) {
            QFont larger = Desktop;
            larger.setPointSize(GetParam().PointSize);
            QApplication::setFont(larger);
        }
    }
    void TearDown() override { QApplication::setFont(Desktop); }

    // The window keeps the size it was designed at unless the font is larger.
    void ExpectDesignedSize(const QWidget& window, QSize designed) const {
        if (GetParam().PointSize == 0)
            EXPECT_EQ(window.size(), designed);
        else
            EXPECT_TRUE(window.width() >= designed.width() && window.height() >= designed.height());
    }

    QFont Desktop;
};

} // namespace

TEST_P(StaticTexts, TheVersionLabelLeavesTheInstructionReadable) {
    ClientEnvironment env; // no game installed: the client opens on "Locate Tribes2"
    auto form = env.CreateForm();
    form->show();
    ASSERT_EQ(form->CurrentPage(), PageLocateTribes2);
    ASSERT_EQ(form->Locate->LabelT2Version->text(), "25034");
    const QStringList problems = ProblemsOn(form.get(), "Locate Tribes2");
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
}

TEST_P(StaticTexts, EveryPageShowsItsTextsWhole) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    auto form = env.CreateForm();
    form->show();
    ExpectDesignedSize(*form, {523, 375});
    const QSize size = form->size();
    QStringList problems;
    for (int page = 0; page < PageCount; ++page)
        problems << ProblemsOnPage(*form, page);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    EXPECT_EQ(form->size(), size);
}

TEST_P(StaticTexts, TheDialogsShowTheirTextsWhole) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    auto form = env.CreateForm();
    form->show();
    TFormAbout about;
    about.show();
    QStringList problems = ProblemsOn(&about, "About");
    ExpectDesignedSize(about, {520, 330});
    TFormFolderSelect folders;
    folders.show();
    problems << ProblemsOn(&folders, "Select Folder");
    HandleModals([&] { AskAbortUpload(form.get()); },
                 [&](QWidget* box) {
                     problems << ProblemsOn(box, "Abort question");
                     static_cast<QMessageBox*>(box)->button(QMessageBox::No)->click();
                 });
    ASSERT_TRUE(form->MusicMixer());
    form->MusicMixer()->show();
    for (int tab = 0; tab < form->MusicMixer()->PageControl->count(); ++tab) {
        form->MusicMixer()->PageControl->setCurrentIndex(tab);
        problems << ProblemsOn(form->MusicMixer(), "Music Mixer");
    }
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Fonts, StaticTexts,
                         ::testing::Values(DesktopFont{"Desktop", 0}, DesktopFont{"Larger", 11}),
                         [](const auto& info) { return std::string(info.param.Name); });
