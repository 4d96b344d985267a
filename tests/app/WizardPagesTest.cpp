#include "CastingServer.h"
#include "EventWait.h"
#include "QtTestSupport.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesFilmer.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesStatus.h"
#include "app/pages/PagesViewer.h"
#include "session/ViewingRun.h"
#include "session/UnitFilmController.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>
#include <QTest>

#include <limits>

namespace {

// A client whose game is set up, so it opens on the "Into" page.
class Wizard : public ::testing::Test {
protected:
    void SetUp() override {
        Env.InstallGame("valid.exe", PlaybackExecutableName);
        Form = Env.CreateForm();
        ASSERT_EQ(Form->CurrentPage(), PageInto);
    }

    bool NextEnabled() {
        Form->UpdateActions();
        return Form->ActionNext->isEnabled();
    }

    QString CastFile(const std::string& cast, const std::string& name) const {
        return QString::fromStdString(Env.Dir / ("home/streams/" + cast + "/" + name));
    }

    ClientEnvironment Env;
    std::unique_ptr<TFormMain> Form;
};

} // namespace

TEST_F(Wizard, AFirstRunShowsEveryDefault) {
    EXPECT_EQ(Form->Into->ComboBoxViewHost->currentText(), "");
    EXPECT_EQ(Form->Into->ComboBoxFilmHost->currentText(), "");
    EXPECT_EQ(Form->FilmOptions->EditDemoPathName->text(),
              QString::fromStdString(Env.GameDirectory() + "base/recordings/"));

    Form->ShowPage(PageFilmOptions);
    EXPECT_EQ(Form->FilmOptions->ComboBoxTransferRate->currentText(), "8000");
    EXPECT_EQ(Form->FilmOptions->ComboBoxSectionStep->currentText(), "Every 4th Section");
    EXPECT_EQ(Form->FilmOptions->ComboBoxRecordingType->currentText(), "Directsound");
    Form->ShowPage(PageAuthView);
    EXPECT_EQ(Form->AuthView->EditViewerUsername->text(), "");
    EXPECT_EQ(Form->AuthView->EditViewerPassword->text(), "");
    Form->ShowPage(PageViewOptions);
    EXPECT_FALSE(Form->ViewOptions->CheckBoxAudioOnly->isChecked());
    EXPECT_EQ(Form->ViewOptions->TrackBarTribesVolume->value(), 10);
    EXPECT_EQ(
        Form->AuthView->EditViewerPassword->style()->styleHint(
            QStyle::SH_LineEdit_PasswordCharacter, nullptr, Form->AuthView->EditViewerPassword),
        '*');

    // The three timers wait, disabled, for the work that needs them.
    EXPECT_EQ(Form->TimerSync->interval(), 500);
    EXPECT_EQ(Form->TimerRecording->interval(), 2000);
    EXPECT_EQ(Form->TimerNoDemoSections->interval(), 30000);
    for (QTimer* timer : {Form->TimerSync, Form->TimerRecording, Form->TimerNoDemoSections})
        EXPECT_FALSE(timer->isActive());
}

TEST_F(Wizard, FilmOptionsAreReadAndStoredByTheirRules) {
    Form->Settings().WriteInteger("Settings", "DataRate", 12345);
    Form->Settings().WriteInteger("Settings", "SectionStep", 1);
    Form->Settings().WriteInteger("Settings", "RecordingType", 1);
    Form->ShowPage(PageFilmOptions);
    EXPECT_EQ(Form->FilmOptions->ComboBoxTransferRate->currentText(), "8000"); // not an item
    EXPECT_EQ(Form->FilmOptions->ComboBoxSectionStep->currentText(),
              "Every Section - Filmer is high bandwidth ");
    EXPECT_EQ(Form->FilmOptions->ComboBoxRecordingType->currentText(), "ACM");

    // Next stores the options first, then filming starts on the "Connecting"
    // page (capturing from the test sound server).
    if (qEnvironmentVariableIsEmpty("NELQ_TEST_AUDIO"))
        GTEST_SKIP() << "needs the private sound server of scripts/test-env";
    Form->FilmOptions->EditGameName->setText("FINAL");
    Form->FilmOptions->ComboBoxSectionStep->setCurrentIndex(5);
    Form->FilmOptions->ComboBoxTransferRate->setEditText("9000");
    Form->Into->ComboBoxFilmHost->setEditText("127.0.0.210"); // nothing listens there
    Form->ExecuteAction(Form->ActionNext);
    EXPECT_EQ(Form->CurrentPage(), PageConnecting);
    EXPECT_EQ(Form->Settings().ReadInteger("Settings", "DataRate", 0), 9000);
    EXPECT_EQ(Form->Settings().ReadInteger("Settings", "SectionStep", 0), 6);
    EXPECT_EQ(Form->Settings().ReadInteger("Settings", "RecordingType", 0), 1);
    EXPECT_EQ(Form->FilmRun()->CaptureSection(), -1);
    Form->StopAll();

    // A step that cannot be a start-point step selects nothing, and Next
    // waits until one is picked.
    for (const int stored : {0, 7, std::numeric_limits<int>::min()}) {
        Form->Settings().WriteInteger("Settings", "SectionStep", stored);
        Form->ShowPage(PageFilmOptions);
        EXPECT_EQ(Form->FilmOptions->ComboBoxSectionStep->currentIndex(), -1) << stored;
        EXPECT_FALSE(Form->ActionNext->isEnabled()) << stored;
    }
    Form->FilmOptions->ComboBoxSectionStep->setCurrentIndex(0);
    Form->UpdateActions();
    EXPECT_TRUE(Form->ActionNext->isEnabled());

    // A recording type that names no method shows the first: Next would store -1 otherwise.
    for (int stored : {2, -1}) {
        Form->Settings().WriteInteger("Settings", "RecordingType", stored);
        Form->ShowPage(PageFilmOptions);
        EXPECT_EQ(Form->FilmOptions->ComboBoxRecordingType->currentIndex(), 0) << stored;
    }
}

TEST_F(Wizard, NextFollowsThePageAndTheMode) {
    Form->SelectMode(WizardMode::ViewServer);
    EXPECT_FALSE(NextEnabled());
    Form->Into->ComboBoxViewHost->setEditText("cast.example.org");
    EXPECT_TRUE(NextEnabled());
    Form->SelectMode(WizardMode::Film);
    EXPECT_FALSE(NextEnabled());
    Form->Into->ComboBoxFilmHost->setEditText("127.0.0.1");
    EXPECT_TRUE(NextEnabled());
    Form->SelectMode(WizardMode::ViewOffline);
    EXPECT_FALSE(NextEnabled());
    Form->Into->ListViewOffline->setCurrentItem(
        new QTreeWidgetItem(Form->Into->ListViewOffline, {"CAST"}));
    EXPECT_TRUE(NextEnabled());

    Form->ShowPage(PageSectionPick);
    EXPECT_FALSE(NextEnabled());
    Form->SectionPick->AddSection(0, "20:00", "Katabatic");
    Form->SectionPick->ListViewSections->setCurrentItem(
        Form->SectionPick->ListViewSections->topLevelItem(0));
    EXPECT_TRUE(NextEnabled());

    Form->ShowPage(PageFilmOptions);
    EXPECT_FALSE(NextEnabled());
    QTest::keyClicks(Form->FilmOptions->EditGameName, "duel");
    EXPECT_EQ(Form->FilmOptions->EditGameName->text(), "DUEL");
    EXPECT_TRUE(NextEnabled());

    for (int page : {PageAuthView, PageViewOptions, PageLocateTribes2}) {
        Form->ShowPage(page);
        EXPECT_TRUE(NextEnabled()) << page;
    }
    for (int page = PageConnecting; page <= PageOfflineViewing; ++page) {
        Form->ShowPage(page);
        EXPECT_FALSE(NextEnabled()) << page;
    }
}

TEST_F(Wizard, BackReturnsToIntoFromEveryPageThatHasIt) {
    for (int page = 0; page < PageCount; ++page) {
        Form->ShowPage(page);
        Form->UpdateActions();
        const bool expected = page >= PageAuthView && page <= PageViewing;
        EXPECT_EQ(Form->ActionBack->isEnabled(), expected) << page;
        Form->ExecuteAction(Form->ActionBack);
        EXPECT_EQ(Form->CurrentPage(), expected ? int(PageInto) : page) << page;
    }
}

TEST_F(Wizard, LeavingARecordingSectionAsksFirst) {
    if (qEnvironmentVariableIsEmpty("NELQ_TEST_AUDIO"))
        GTEST_SKIP() << "needs the private sound server of scripts/test-env";
    TServerOptions options;
    options.BindAddress = "127.0.0.209";
    options.DataDirectory = Env.Dir / "casts";
    options.ViewerPort = 0;
    TCastingServer server(options, [](const std::string&) {});
    server.Start();
    Form->ShowPage(PageFilmOptions);
    Form->FilmOptions->EditGameName->setText("FINAL");
    Form->Into->ComboBoxFilmHost->setEditText("127.0.0.209");
    Form->ExecuteAction(Form->ActionNext);
    // Logged in, the run shows the "Filming" page and reports no more.
    ASSERT_EVENTUALLY_EQ(Form->CurrentPage(), int(PageFilming), 20000);
    Form->FilmRun()->SetCaptureSection(3);
    const QString question =
        AnswerMessageBox([&] { Form->ExecuteAction(Form->ActionBack); }, "&No");
    EXPECT_TRUE(question.startsWith(
        "NELQ Client Software|A stream has not yet completed. If you havnt stopped the\n"));
    EXPECT_TRUE(question.contains(
        "by showing \"streams complete\"\n\nDo you wish to abort current upload?"));
    EXPECT_EQ(Form->CurrentPage(), PageFilming);

    Form->show();
    AnswerMessageBox([&] { Form->close(); }, "&No");
    EXPECT_TRUE(Form->isVisible());
    AnswerMessageBox([&] { Form->ExecuteAction(Form->ActionBack); }, "&Yes");
    EXPECT_EQ(Form->CurrentPage(), PageInto);

    // Without a section being recorded the window closes without a question.
    EXPECT_FALSE(Form->FilmRun());
    Form->ShowPage(PageFilming);
    EXPECT_EQ(AnswerMessageBox([&] { Form->close(); }), "");
    EXPECT_FALSE(Form->isVisible());
}

TEST_F(Wizard, SectionPickStartsWhereTheCastWasLeft) {
    for (int section : {0, 3, 6, 9})
        Form->SectionPick->AddSection(section, "t", "m");
    const auto picked = [&] {
        Form->SectionPick->PrepareSectionPick(CastFile("FINAL", ""));
        return Form->SectionPick->SelectedIndex().value_or(-1);
    };

    EXPECT_EQ(picked(), -1);
    EXPECT_TRUE(Form->SectionPick->RadioButtonPlayFromStart->isChecked());
    EXPECT_TRUE(Form->SectionPick->ListViewSections->isHidden());

    WriteAll(CastFile("FINAL", "lastplayed.dat").toStdString(), "7");
    EXPECT_EQ(picked(), 2);
    EXPECT_TRUE(Form->SectionPick->RadioButtonPickPlayFromLaterPoint->isChecked());
    EXPECT_FALSE(Form->SectionPick->ListViewSections->isHidden());

    WriteAll(CastFile("FINAL", "lastplayed.dat").toStdString(), "abc");
    EXPECT_EQ(picked(), 0);
}

TEST_F(Wizard, ASectionsDescriptionIsShownAsNameValueLines) {
    Form->SectionPick->ShowSections({"0,\"Time Remaining\",Map,20:00,Katabatic",
                                     "6,\"Time Remaining\",Map,12:30,Frozen"});
    Form->SectionPick->AddSection(9, "10:00", "Frozen");
    QTreeWidget* list = Form->SectionPick->ListViewSections;
    list->setCurrentItem(list->topLevelItem(1));
    EXPECT_EQ(Form->SectionPick->MemoDemoStart->toPlainText(),
              "Time Remaining: 12:30\nMap: Frozen");
    list->setCurrentItem(list->topLevelItem(2)); // no description line for it
    EXPECT_EQ(Form->SectionPick->MemoDemoStart->toPlainText(), "");
}

TEST_F(Wizard, SectionRowsWithTheSameMapAndTimeAreToldApartBySectionAndStart) {
    const auto rows = [&] {
        QStringList texts;
        QTreeWidget* list = Form->SectionPick->ListViewSections;
        for (int column = 0; column < list->columnCount(); ++column)
            texts << list->headerItem()->text(column);
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            for (int column = 0; column < list->columnCount(); ++column)
                texts << list->topLevelItem(i)->text(column);
        return texts.join('|');
    };
    Form->SectionPick->ShowSections(
        {"3,\"Time Remaining\",Map,\"Cast Time\",20:00,Katabatic,0:30",
         "7,\"Time Remaining\",Map,\"Cast Time\",20:00,\"Sun Dried\",1:02:05"});
    EXPECT_EQ(rows(), "Section|Time Remaining|Map|Starts at|"
                      "3|20:00|Katabatic|0:30|"
                      "7|20:00|Sun Dried|1:02:05");
    QTreeWidget* list = Form->SectionPick->ListViewSections;
    // Every column is in view: no scrolling sideways to find where a row starts.
    Form->show();
    Form->ShowPage(PageSectionPick);
    Form->SectionPick->RadioButtonPickPlayFromLaterPoint->click();
    QApplication::processEvents();
    EXPECT_LE(list->header()->length(), list->viewport()->width());
    list->setCurrentItem(list->topLevelItem(1));
    EXPECT_EQ(TPageSectionPick::SectionOf(list->currentItem()), 7);
    EXPECT_EQ(Form->SectionPick->MemoDemoStart->toPlainText(),
              "Time Remaining: 20:00\nMap: Sun Dried\nCast Time: 1:02:05");

    // A server that tells no start times: the rows as before, plus the section.
    Form->SectionPick->ShowSections({"2,Players,Mission,8,CTF"});
    EXPECT_EQ(rows(), "Section|Players|Mission|Starts at|2|8|CTF|");
}

TEST_F(Wizard, FocusingAModesControlSelectsThatMode) {
    Form->show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    Form->Into->ListViewOffline->setFocus();
    ASSERT_EVENTUALLY_EQ(Form->SelectedMode(), WizardMode::ViewOffline, 20000);
    Form->Into->ComboBoxFilmHost->setFocus();
    ASSERT_EVENTUALLY_EQ(Form->SelectedMode(), WizardMode::Film, 20000);
    Form->Into->ComboBoxViewHost->setFocus();
    ASSERT_EVENTUALLY_EQ(Form->SelectedMode(), WizardMode::ViewServer, 20000);
}

TEST_F(Wizard, StoredCastsAndArchivesAreListedAndHostsRemembered) {
    for (const char* dir :
         {"home/streams/BETA", "home/streams/ALPHA", "home/streams/ACTIVE", "home/streams/.hidden"})
        std::filesystem::create_directories(Env.Dir / dir);
    for (const char* file :
         {"home/streams/old.zip", "home/streams/CUP.QMX", "home/streams/notes.txt"})
        WriteAll(Env.Dir / file, "x");
    Form->ShowPage(PageInto);
    QStringList listed;
    for (int i = 0; i < Form->Into->ListViewOffline->topLevelItemCount(); ++i)
        listed << Form->Into->ListViewOffline->topLevelItem(i)->text(0);
    // A leading dot hides nothing here: such a cast is listed like any other.
    EXPECT_EQ(listed, (QStringList{".hidden", "ALPHA", "BETA", "old.zip", "CUP.QMX"}));

    // An archive is opened whatever the case of its extension.
    Form->SelectMode(WizardMode::ViewOffline);
    Form->Into->ComboBoxViewHost->setEditText("View.Example");
    Form->Into->ListViewOffline->setCurrentItem(Form->Into->ListViewOffline->topLevelItem(4));
    EXPECT_TRUE(AnswerMessageBox([&] { Form->ExecuteAction(Form->ActionNext); })
                    .endsWith("CUP.QMX\": Not a zip archive"));
    EXPECT_EQ(Form->ViewRun()->CurrentGame(), "CUP.QMX");
    EXPECT_EQ(Form->Settings().ReadString("Settings", "ViewHost", ""), "View.Example");

    Form->SelectMode(WizardMode::Film);
    Form->Into->ComboBoxFilmHost->setEditText("Film.Example");
    Form->ExecuteAction(Form->ActionNext);
    EXPECT_EQ(Form->CurrentPage(), PageFilmOptions);
    EXPECT_EQ(Form->Settings().ReadString("ComboBoxViewHost", "0", ""), "view.example");
    EXPECT_EQ(Form->Settings().ReadString("ComboBoxFilmHost", "0", ""), "film.example");
}

TEST_F(Wizard, ThreadReportsBringTheirPagesForward) {
    Form->ShowPage(PageFilmOptions);
    Form->OnStatus("Connecting to 127.0.0.1");
    Form->OnStatus("Connected");
    EXPECT_EQ(Form->CurrentPage(), PageConnecting);
    EXPECT_EQ(Form->Connecting->MemoConsole->toPlainText(), "Connecting to 127.0.0.1\nConnected");
    Form->ShowPage(PageAuthView);
    EXPECT_EQ(Form->CurrentPage(), PageAuthView);
}

TEST_F(Wizard, TheAudioQualityListIsFilledWhenFilmOptionsOpen) {
    Form->Settings().WriteInteger("Settings", "AudioIndex", 2);
    Form->ShowPage(PageFilmOptions);
    EXPECT_EQ(Form->FilmOptions->ComboBoxAudioRate->count(), 6);
    EXPECT_EQ(Form->FilmOptions->ComboBoxAudioRate->currentIndex(), 2);
}

TEST_F(Wizard, TypedHostsStayAsTypedWhenFocusLeaves) {
    Form->Settings().WriteString("ComboBoxViewHost", "0", "cast.example.org");
    Form->Settings().WriteString("ComboBoxFilmHost", "0", "film.example.org");
    Form->ShowPage(PageInto);
    Form->show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    for (QComboBox* box : {Form->Into->ComboBoxViewHost, Form->Into->ComboBoxFilmHost}) {
        const QString typed =
            box == Form->Into->ComboBoxViewHost ? "Cast.Example.ORG" : "FILM.example.org";
        box->setFocus();
        ASSERT_EVENTUALLY(box->hasFocus(), 20000);
        box->clearEditText();
        QTest::keyClicks(box, typed);
        Form->Into->RadioButtonFilmGame->setFocus();
        ASSERT_EVENTUALLY(!box->hasFocus(), 20000);
        EXPECT_EQ(box->currentText().toStdString(), typed.toStdString());
    }
}
