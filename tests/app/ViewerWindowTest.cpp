#include "FilmedCast.h"
#include "EventWait.h"
#include "QtTestSupport.h"
#include "ServerHarness.h"
#include "app/UnitFormMain.h"
#include "session/ViewingRun.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesStatus.h"
#include "app/pages/PagesViewer.h"
#include "net/UnitViewerThread.h"

#include <QTest>
#include <QTimer>

namespace {

constexpr int Deadline = 30000;

std::string CastFile(const TFormMain& form, const std::string& game, const std::string& name) {
    return form.StreamsDirectory().toStdString() + game + "/" + name;
}

void StartViewing(TFormMain& form, const std::string& host) {
    form.Into->ComboBoxViewHost->setEditText(QString::fromStdString(host));
    form.SelectMode(WizardMode::ViewServer);
    form.ExecuteAction(form.ActionNext);
}

} // namespace

TEST(ViewerWindow, ListsGamesAndSectionsAndDownloadsFromThePickedStart) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    TCastServer server("127.0.0.203", env.Dir / "casts");
    const std::vector<TSectionParts> sections =
        TFilmedCast(env.Dir / "filmed", {TSectionKind::StartPoint, TSectionKind::Body,
                                         TSectionKind::Fake, TSectionKind::StartPoint})
            .Parts();
    server.Film("Other Cast", {MakeSection(9, false, true)});
    server.Film("Window Cast", sections);

    auto form = env.CreateForm();
    StartViewing(*form, server.Address);
    EXPECT_EQ(form->CurrentPage(), PageConnecting);
    ASSERT_EVENTUALLY_EQ(form->CurrentPage(), int(PageViewOptions), Deadline);
    QComboBox* games = form->ViewOptions->ComboBoxGames;
    ASSERT_EQ(games->count(), 2);
    EXPECT_EQ(games->currentIndex(), 0);
    games->setCurrentIndex(games->findText("Window Cast"));

    // The two start points are offered with the values their captions name.
    form->ExecuteAction(form->ActionNext);
    EXPECT_FALSE(form->Settings().ReadBool("Settings", "AudioOnly", true));
    ASSERT_EVENTUALLY_EQ(form->CurrentPage(), int(PageSectionPick), Deadline);
    QTreeWidget* list = form->SectionPick->ListViewSections;
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->headerItem()->text(TPageSectionPick::FirstValueColumn), "Time Remaining");
    EXPECT_EQ(list->headerItem()->text(TPageSectionPick::SecondValueColumn), "Map");
    EXPECT_EQ(TPageSectionPick::SectionOf(list->topLevelItem(1)), 3);
    EXPECT_EQ(list->topLevelItem(1)->text(TPageSectionPick::SectionColumn), "3");
    EXPECT_EQ(list->topLevelItem(1)->text(TPageSectionPick::FirstValueColumn), "17:00");
    EXPECT_EQ(list->topLevelItem(1)->text(TPageSectionPick::SecondValueColumn), "Katabatic");
    // Each start point begins after the audio of every section before it, 1 s each.
    EXPECT_EQ(list->topLevelItem(0)->text(TPageSectionPick::StartsAtColumn), "0:00");
    EXPECT_EQ(list->topLevelItem(1)->text(TPageSectionPick::StartsAtColumn), "0:03");

    form->SectionPick->RadioButtonPickPlayFromLaterPoint->setChecked(true);
    list->setCurrentItem(list->topLevelItem(1));
    EXPECT_TRUE(form->SectionPick->MemoDemoStart->toPlainText().contains("Katabatic"));
    EXPECT_TRUE(form->SectionPick->MemoDemoStart->toPlainText().endsWith("Cast Time: 0:03"));
    form->ExecuteAction(form->ActionNext);
    EXPECT_EQ(form->ViewRun()->StartSection(), 3);
    ASSERT_EVENTUALLY(form->ViewRun()->ViewerThread()->Finished(), Deadline);

    EXPECT_TRUE(ReadAll(CastFile(*form, "Window Cast", "demo_3.rec")) == sections[3].Demo);
    EXPECT_TRUE(ReadAll(CastFile(*form, "Window Cast", "audio_3.ogg")) == sections[3].Audio);
    EXPECT_FALSE(std::filesystem::exists(CastFile(*form, "Window Cast", "demo_2.rec")));
    EXPECT_EQ(form->ViewRun()->Assembly().LastCompletedSection(), 3);
    // The download is over while the cast still plays; the cast's own end follows.
    const QPlainTextEdit* console = form->Connecting->MemoConsole;
    EXPECT_EQ(console->toPlainText(), "Streams completed\nDisconnected\nThe whole cast has been "
                                      "downloaded and plays on to its end.");
    EXPECT_EQ(form->Connecting->LabelEnding->text(), "Downloaded; the cast is still playing.");
    ASSERT_EVENTUALLY(console->toPlainText().endsWith("\nThe cast has finished. Press Back to watch another."), Deadline);
    EXPECT_EQ(form->Connecting->LabelEnding->text(), "The cast has finished.");
    EXPECT_EQ(form->Connecting->LabelPlayback->text(), "Played to the end \u00b7 0:01");

    // The viewing page showed the first buffer section whole, then its
    // assembly as the first section of a rebuilt recording.
    EXPECT_EQ(form->Viewing->LabelBuffer->text(), "Waiting for next buffer section...");
    EXPECT_EQ(form->Viewing->ProgressBarBuffer->value(), 33);
    EXPECT_EQ(form->Viewing->LabelViewingStreams->text(), "Stream transfer in progress...");
    QTreeWidget* streams = form->Viewing->ListViewStreams;
    ASSERT_EQ(streams->topLevelItemCount(), 2);
    EXPECT_EQ(streams->topLevelItem(0)->text(1), "Demo");
    EXPECT_EQ(streams->topLevelItem(0)->text(2),
              QString("%1 KB").arg(sections[3].Demo.size() / 1024));
    EXPECT_EQ(streams->topLevelItem(1)->text(0), "1");
    EXPECT_EQ(streams->topLevelItem(1)->text(1), "Audio (OGG)");

    form->ExecuteAction(form->ActionBack);
    EXPECT_FALSE(form->ViewRun());
}

TEST(ViewerWindow, NoGamesStayOnTheConsoleAndOneStartPointSkipsThePick) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    TCastServer server("127.0.0.204", env.Dir / "casts");
    auto form = env.CreateForm();
    StartViewing(*form, server.Address);
    ASSERT_EVENTUALLY_EQ(form->Connecting->MemoConsole->toPlainText(), QString("No active streams\nThere are no casts on this server now. "
                                      "Press Back to try again later."), Deadline);
    EXPECT_EQ(form->Connecting->LabelEnding->text(), "No casts on this server.");
    EXPECT_EQ(form->CurrentPage(), PageConnecting);

    const std::vector<TSectionParts> sections =
        TFilmedCast(env.Dir / "filmed", {TSectionKind::StartPoint, TSectionKind::Body}).Parts();
    server.Film("Single", sections);
    form->ExecuteAction(form->ActionBack);
    // What an earlier run completed must not be listed twice.
    WriteAll(CastFile(*form, "Single", "completed.dat"), "audio\r\n\"7\",\"7\"\r\n");
    StartViewing(*form, server.Address);
    ASSERT_EVENTUALLY_EQ(form->CurrentPage(), int(PageViewOptions), Deadline);
    form->ExecuteAction(form->ActionNext);
    ASSERT_EVENTUALLY_EQ(form->CurrentPage(), int(PageViewing), Deadline);
    ASSERT_EVENTUALLY(form->ViewRun()->ViewerThread()->Finished(), Deadline);
    EXPECT_EQ(form->ViewRun()->StartSection(), 0);
    EXPECT_EQ(ReadAll(CastFile(*form, "Single", "completed.dat")).find("\"7\""), std::string::npos);
    EXPECT_TRUE(ReadAll(CastFile(*form, "Single", "demo_0.rec")) == sections[0].Demo);
    EXPECT_TRUE(ReadAll(CastFile(*form, "Single", "demo_1.rec")) ==
                sections[1].Demo.substr(static_cast<std::size_t>(sections[1].BodyOffset)));
    EXPECT_TRUE(ReadAll(CastFile(*form, "Single", "audio_1.ogg")) == sections[1].Audio);
    form->StopAll();
}

// Stopping a run serves events while it waits for the viewer thread: a Back
// or Next that arrives meanwhile must neither start a new run on the thread
// being stopped nor free it under the stop. The next run then works.
TEST(ViewerWindow, BackAndNextWaitWhileARunStops) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    TCastServer server("127.0.0.205", env.Dir / "casts");
    server.Film("Cast", {MakeSection(0, false, true)});
    auto form = env.CreateForm();
    StartViewing(*form, server.Address);
    ASSERT_EVENTUALLY_EQ(form->CurrentPage(), int(PageViewOptions), Deadline);

    bool pressedWhileStopping = false;
    QTimer::singleShot(0, form.get(), [&] {
        pressedWhileStopping = true;
        EXPECT_FALSE(form->ActionBack->isEnabled());
        EXPECT_FALSE(form->ActionNext->isEnabled());
        form->ExecuteAction(form->ActionBack);
        form->SelectMode(WizardMode::ViewServer);
        form->ExecuteAction(form->ActionNext);
        EXPECT_FALSE(form->ViewRun()) << "a run started while the last one stopped";
    });
    form->ExecuteAction(form->ActionBack);
    EXPECT_TRUE(pressedWhileStopping);
    EXPECT_EQ(form->CurrentPage(), PageInto);
    EXPECT_FALSE(form->ViewRun());

    StartViewing(*form, server.Address);
    ASSERT_EVENTUALLY_EQ(form->CurrentPage(), int(PageViewOptions), Deadline);
    form->StopAll();
}
