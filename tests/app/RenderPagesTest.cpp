#include "QtTestSupport.h"
#include "session/PlaybackStatus.h"
#include "session/RunEndings.h"
#include "app/UnitFormAbout.h"
#include "app/UnitFormFolderSelect.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/UnitMessageBoxes.h"
#include "app/pages/PagesFilmer.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesStatus.h"
#include "app/pages/PagesViewer.h"
#include "mixer/UnitFormMusicMixer.h"
#include "session/ViewingView.h"
#include "BuildTree.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTest>

// Renders every page and dialog, filled as a user would see them, so that a
// person can look at them: into $NELQ_SCREENSHOTS (scripts/screenshots), else
// build/pages.

namespace {

QString OutputDirectory() {
    const QString chosen = qEnvironmentVariable("NELQ_SCREENSHOTS");
    const QString out = chosen.isEmpty() ? QString::fromStdString(BuildTreePath("pages")) : chosen;
    QDir().mkpath(out);
    return out;
}

bool Save(QWidget* window, const QString& name) {
    QApplication::processEvents(); // texts set just now are laid out
    // The most compression: these pictures are kept in the repository.
    return window->grab().save(OutputDirectory() + '/' + name + QStringLiteral(".png"), "PNG", 0);
}

void ShowStatus(QLabel* label, const QString& text) {
    label->setText(text);
    label->show();
}

// What each page shows in the middle of a journey.
void FillPage(TFormMain& form, int page) {
    const auto described = [](TGameState game) {
        return QString::fromStdString(
            DescribePlayback(TPlaybackStatus{12, 192000, 760000, 2, game, 1.05}));
    };
    const QString playing = described(TGameState::Playing);
    switch (page) {
    case PageInto:
        form.Into->ComboBoxViewHost->setEditText(QStringLiteral("casts.nelq.example.org"));
        form.Into->ComboBoxFilmHost->setEditText(QStringLiteral("casts.nelq.example.org"));
        for (const char* cast : {"NELQ CUP FINAL", "LADDER WEEK 12", "SCRIM NIGHT"})
            new QTreeWidgetItem(form.Into->ListViewOffline, {QString::fromLatin1(cast)});
        form.Into->RadioButtonViewGame->setChecked(true);
        break;
    case PageViewOptions:
        form.ViewOptions->ComboBoxGames->addItems(
            {QStringLiteral("NELQ CUP FINAL"), QStringLiteral("LADDER WEEK 12")});
        break;
    case PageSectionPick:
        form.SectionPick->ShowSections(
            {QStringLiteral("1,\"Time Remaining\",Map,\"Cast Time\",20:00,Katabatic,0:00"),
             QStringLiteral("5,\"Time Remaining\",Map,\"Cast Time\",16:40,Katabatic,3:20"),
             QStringLiteral("9,\"Time Remaining\",Map,\"Cast Time\",13:20,Katabatic,6:40"),
             QStringLiteral("13,\"Time Remaining\",Map,\"Cast Time\",20:00,Minotaur,10:02")});
        break;
    case PageFilmOptions:
        form.FilmOptions->EditGameName->setText(QStringLiteral("LADDER WEEK 12"));
        form.FilmOptions->EditDemoPathName->setText(QStringLiteral(
            "/home/caster/.wine/drive_c/Dynamix/Tribes2/GameData/base/recordings/"));
        break;
    case PageConnecting:
        for (const std::string& line :
             {std::string("Connecting to casts.nelq.example.org"), std::string("Connected"),
              std::string("Streams completed"), std::string("Disconnected"),
              StillPlayingEnding().Line, CastPlayedEnding().Line})
            form.Connecting->MemoConsole->appendPlainText(QString::fromStdString(line));
        ShowStatus(form.Connecting->LabelEnding,
                   QString::fromStdString(CastPlayedEnding().Caption));
        ShowStatus(form.Connecting->LabelPlayback, described(TGameState::Finished));
        break;
    case PageFilming:
        form.Filming->LabelTransferedTo->setText(
            QStringLiteral("Transfered 1843200 bytes to NELQ server."));
        for (QWidget* w : std::initializer_list<QWidget*>{
                 form.Filming->PanelAudioRecording, form.Filming->PanelDemoRecording,
                 form.Filming->ButtonStopFilming, form.Filming->ButtonMusicMixer})
            w->show();
        break;
    case PageViewing:
        for (const TDownloadProgress& progress :
             {TDownloadProgress{11, false, 412, "Downloading buffer section 2 of 3", 66},
              TDownloadProgress{12, true, 236, "Downloading buffer section 2 of 3", 66}})
            form.Viewing->ShowDownload(progress);
        ShowStatus(form.Viewing->LabelPlayback, playing);
        break;
    case PageOfflineViewing:
        form.OfflineViewing->ProgressBarExtract->setValue(100);
        ShowStatus(form.OfflineViewing->LabelPlayback, playing);
        break;
    default:
        break;
    }
}

} // namespace

TEST(RenderPages, EveryPageRendersAtTheWindowsSize) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    auto form = env.CreateForm();
    form->show();
    for (int page = 0; page < PageCount; ++page) {
        form->ShowPage(page);
        FillPage(*form, page);
        EXPECT_EQ(form->grab().size(), QSize(523, 375)) << page;
        const QString name = form->NotebookMain->widget(page)->objectName().replace(' ', '-');
        EXPECT_TRUE(Save(form.get(), QStringLiteral("page-%1-%2").arg(page).arg(name))) << page;
    }
    form->ShowPage(PageSectionPick);
    form->SectionPick->RadioButtonPickPlayFromLaterPoint->setChecked(true);
    form->SectionPick->ApplyRadioButtonRule();
    EXPECT_TRUE(Save(form.get(), QStringLiteral("page-4-Section-Pick-later-point")));

    TFormAbout about;
    about.show();
    QApplication::processEvents(); // the texts set on showing are laid out
    EXPECT_TRUE(about.LabelVersion->text() == "Version: 1.0.0.47");
    EXPECT_TRUE(Save(&about, QStringLiteral("about")));

    TFormFolderSelect folders;
    folders.SelectedFolder = QString::fromStdString(env.Dir.Path.string());
    folders.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !folders.SelectedPath().isEmpty(); }, 20000));
    EXPECT_TRUE(Save(&folders, QStringLiteral("folder-select")));

    HandleModals([&] { AskAbortUpload(form.get()); },
                 [&](QWidget* box) {
                     EXPECT_TRUE(Save(box, QStringLiteral("abort-question")));
                     static_cast<QMessageBox*>(box)->button(QMessageBox::No)->click();
                 });

    ASSERT_TRUE(form->MusicMixer());
    form->MusicMixer()->show();
    EXPECT_TRUE(Save(form->MusicMixer(), QStringLiteral("music-mixer")));
}
