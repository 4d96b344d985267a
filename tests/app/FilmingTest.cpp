#include "CastingServer.h"
#include "EventWait.h"
#include "QtTestSupport.h"
#include "app/QtSyncContext.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesFilmer.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesStatus.h"
#include "net/UnitFilmerThread.h"
#include "session/StatusPanel.h"
#include "session/UnitFilmController.h"

#include <QTest>

#include <filesystem>

namespace {

// A client whose game is set up, with a casting server on a loopback address
// of the test's own (the client films to the fixed port).
class Filming : public ::testing::Test {
protected:
    void SetUp() override {
        Env.InstallGame("valid.exe", PlaybackExecutableName);
        Form = Env.CreateForm();
        std::filesystem::create_directories(Env.Dir / "recordings");
    }

    void StartServer(const std::string& address) {
        TServerOptions options;
        options.BindAddress = address;
        options.DataDirectory = Env.Dir / "casts";
        options.ViewerPort = 0;
        Server = std::make_unique<TCastingServer>(options, [](const std::string&) {});
        Server->Start();
    }

    // Fills "Into" and "Film Options" as a user would and presses Next on both.
    void EnterFilmOptions(const QString& host, const QString& rate) {
        Form->SelectMode(WizardMode::Film);
        Form->Into->ComboBoxFilmHost->setEditText(host);
        Form->ExecuteAction(Form->ActionNext);
        ASSERT_EQ(Form->CurrentPage(), PageFilmOptions);
        Form->FilmOptions->EditGameName->setText("FINAL");
        Form->FilmOptions->EditPassword->setText("pw");
        Form->FilmOptions->EditDemoPathName->setText(
            QString::fromStdString(Env.Dir / "recordings/"));
        Form->FilmOptions->ComboBoxTransferRate->setEditText(rate);
    }

    QString Console() const { return Form->Connecting->MemoConsole->toPlainText(); }

    // A run captures from the default input; without the test sound server
    // the capture's error box would wait for a click.
    static bool NoSoundServer() { return qEnvironmentVariableIsEmpty("NELQ_TEST_AUDIO"); }

    bool ServerHas(const std::string& file) const {
        return std::filesystem::exists(Env.Dir / ("casts/FINAL/" + file));
    }

    ClientEnvironment Env;
    std::unique_ptr<TCastingServer> Server;
    std::unique_ptr<TFormMain> Form;
};

} // namespace

TEST_F(Filming, ARateThatMovesNoDataIsRefusedOnThePage) {
    EnterFilmOptions("127.0.0.211", "20000");
    for (const QString& rate : {QString("fast"), QString("0"), QString("-7000"), QString("")}) {
        Form->FilmOptions->ComboBoxTransferRate->setEditText(rate);
        EXPECT_EQ(AnswerMessageBox([&] { Form->ExecuteAction(Form->ActionNext); }),
                  "NELQ Client Software|The transfer rate must be a whole number of bytes per "
                  "second greater than 0, such as 8000.")
            << rate.toStdString();
        EXPECT_EQ(Form->CurrentPage(), PageFilmOptions);
        EXPECT_FALSE(Form->FilmRun());
    }
}

TEST_F(Filming, TheFilmingPageFollowsTheUploadAndTheCuts) {
    // A run whose threads are never started: its answers to them are driven here.
    QtSyncContext sync;
    TPageFilming& page = *Form->Filming;
    TFilmController film(sync, {page.LabelTransferedTo, page.PanelAudioRecording,
                                page.PanelDemoRecording, page.PanelPleaseWait,
                                page.LabelUploadBacklog, page.ButtonStopFilming, page.ButtonMusicMixer,
                                Form->TimerRecording, Form->TimerNoDemoSections});
    film.ShowFilmingPage = [&] { Form->ShowPage(PageFilming); };
    Form->ShowPage(PageConnecting);
    film.OnBytesSent(1023);
    EXPECT_EQ(Form->CurrentPage(), PageFilming);
    EXPECT_EQ(Form->Filming->LabelTransferedTo->text(), "Transfered 0 KB to NELQ server");
    film.OnBytesSent(1024);
    EXPECT_EQ(Form->Filming->LabelTransferedTo->text(), "Transfered 1 KB to NELQ server");

    // The first cut brings the recording panel and both buttons.
    film.OnAudioCut(0);
    EXPECT_EQ(film.CaptureSection(), 0);
    EXPECT_FALSE(Form->Filming->PanelAudioRecording->isHidden());
    EXPECT_FALSE(Form->Filming->ButtonStopFilming->isHidden());
    EXPECT_FALSE(Form->Filming->ButtonMusicMixer->isHidden());
    EXPECT_TRUE(Form->TimerRecording->isActive());

    // The blink swaps the panels' colours every tick.
    QLabel* audio = Form->Filming->PanelAudioRecording;
    QLabel* demo = Form->Filming->PanelDemoRecording;
    demo->show();
    film.TimerRecordingTimer();
    EXPECT_EQ(StatusPanel::Background(audio), StatusPanel::White);
    EXPECT_EQ(StatusPanel::Font(audio), StatusPanel::Red);
    EXPECT_EQ(StatusPanel::Background(demo), StatusPanel::White);
    EXPECT_EQ(StatusPanel::Font(demo), StatusPanel::Navy);
    film.TimerRecordingTimer();
    EXPECT_EQ(StatusPanel::Background(audio), StatusPanel::Red);
    EXPECT_EQ(StatusPanel::Font(audio), StatusPanel::White);
    EXPECT_EQ(StatusPanel::Background(demo), StatusPanel::Navy);
    EXPECT_EQ(StatusPanel::Font(demo), StatusPanel::White);
    EXPECT_TRUE(Form->TimerRecording->isActive());

    // Once "Stop Recording" was pressed, later cuts leave the controls hidden.
    film.ButtonStopFilmingClick();
    EXPECT_FALSE(Form->Filming->PanelPleaseWait->isHidden());
    film.OnAudioCut(1);
    EXPECT_EQ(film.CaptureSection(), 1);
    EXPECT_TRUE(Form->Filming->PanelAudioRecording->isHidden());
    EXPECT_TRUE(Form->Filming->ButtonStopFilming->isHidden());
    EXPECT_TRUE(Form->Filming->ButtonMusicMixer->isHidden());
}

TEST_F(Filming, AWholeRunReachesTheServerAndEndsWithTheCompletion) {
    if (NoSoundServer())
        GTEST_SKIP() << "needs the private sound server of scripts/test-env";
    StartServer("127.0.0.212");
    EnterFilmOptions("  127.0.0.212 ", "20000");
    Form->ExecuteAction(Form->ActionNext);
    EXPECT_TRUE(Form->TimerNoDemoSections->isActive());
    ASSERT_TRUE(Form->FilmRun() && Form->FilmRun()->FilmerThread());

    // Logged in: the first byte count brings the "Filming" page.
    ASSERT_EVENTUALLY_EQ(Form->CurrentPage(), int(PageFilming), 20000);
    EXPECT_EQ(Form->Filming->LabelTransferedTo->text(), "Transfered 0 KB to NELQ server");

    // The first fake section holds the commentary until the game records; the
    // timer's tick lets it go, and it is uploaded.
    ASSERT_EVENTUALLY_EQ(Form->FilmRun()->CaptureSection(), 0, 20000);
    Form->TimerNoDemoSectionsTimer();
    ASSERT_EVENTUALLY(Form->FilmRun()->CaptureSection() == 1, 20000);
    ASSERT_EVENTUALLY(ServerHas("section_0.meta"), 30000);

    // "Stop Recording": the fake section still open is let go by the next
    // tick, and once it is up the run is complete.
    Form->ButtonStopFilmingClick();
    Form->TimerNoDemoSectionsTimer();
    ASSERT_EVENTUALLY(Console().contains("Stream upload Complete"), 60000);
    EXPECT_EQ(Form->CurrentPage(), PageConnecting);
    ASSERT_EVENTUALLY(ServerHas("completed"), 10000);
    EXPECT_TRUE(ServerHas("section_1.meta"));
    EXPECT_FALSE(ServerHas("section_2.meta"));
    // The client's own section files are gone once uploaded.
    EXPECT_FALSE(std::filesystem::exists(Env.Dir / "home/stream_0.ogg"));

    Form->StopAll();
    EXPECT_FALSE(Form->FilmRun());
}

// The wait for a stopping run serves events: a second stop, Back, Next on a
// page that would start a new run, and close come in then. None may reach the
// run being stopped or start another; the close is done once the stop is over,
// and a new run works afterwards.
TEST_F(Filming, WhatArrivesWhileARunStopsWaitsForTheStop) {
    if (NoSoundServer())
        GTEST_SKIP() << "needs the private sound server of scripts/test-env";
    StartServer("127.0.0.213");
    EnterFilmOptions("127.0.0.213", "8000");
    Form->show();
    Form->ExecuteAction(Form->ActionNext);
    ASSERT_EVENTUALLY_EQ(Form->CurrentPage(), int(PageFilming), 20000);

    bool arrived = false;
    QMetaObject::invokeMethod(
        Form.get(),
        [&] {
            arrived = true;
            Form->StopAll();
            Form->ExecuteAction(Form->ActionBack);
            Form->ShowPage(PageFilmOptions);
            Form->ExecuteAction(Form->ActionNext);
            EXPECT_FALSE(Form->FilmRun()) << "a run started while the last one stopped";
            Form->close();
            EXPECT_TRUE(Form->isVisible()) << "closed under the stop";
        },
        Qt::QueuedConnection);
    Form->StopAll();
    EXPECT_TRUE(arrived);
    EXPECT_FALSE(Form->FilmRun());
    ASSERT_EVENTUALLY(!Form->isVisible(), 10000);

    Form->show();
    Form->ShowPage(PageFilmOptions);
    Form->ExecuteAction(Form->ActionNext);
    ASSERT_TRUE(Form->FilmRun());
    ASSERT_EVENTUALLY_EQ(Form->CurrentPage(), int(PageFilming), 20000);
    Form->StopAll();
}

TEST_F(Filming, StartingAgainReplacesTheRunThatIsStillThere) {
    if (NoSoundServer())
        GTEST_SKIP() << "needs the private sound server of scripts/test-env";
    EnterFilmOptions("127.0.0.214", "8000"); // nothing listens there
    Form->ExecuteAction(Form->ActionNext);
    ASSERT_EVENTUALLY(Console().contains("Cannot connect"), 20000);

    // The old upload and encoder threads are ended first; the new run reports
    // on a fresh console.
    Form->ShowPage(PageFilmOptions);
    Form->ExecuteAction(Form->ActionNext);
    ASSERT_TRUE(Form->FilmRun() && Form->FilmRun()->FilmerThread());
    EXPECT_EQ(Form->CurrentPage(), PageConnecting);
    EXPECT_FALSE(Console().contains("Cannot connect"));
    ASSERT_EVENTUALLY(Console().contains("Cannot connect"), 20000);
    Form->StopAll();
    EXPECT_FALSE(Form->FilmRun());
}
