// Viewing a cast from the window: the real casting server in this process,
// the viewer thread, the assembly into rebuilt recordings in the game's
// directory, and the game stand-in started on one of them.

#include "FilmedCast.h"
#include "ProcessCheck.h"
#include "EventWait.h"
#include "QtTestSupport.h"
#include "TestSupport.h"
#include "app/ConfiguredGameStarter.h"
#include "app/UnitFormMain.h"
#include "session/ViewingRun.h"
#include "app/UnitGameInstall.h"
#include "app/UnitSettingsStore.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesViewer.h"
#include "net/UnitViewerThread.h"
#include "BuildTree.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int Deadline = 60000;
using Kind = TSectionKind;

class ViewingAssembly : public ::testing::Test {
protected:
    void SetUp() override {
        Env.InstallGame("valid.exe", PlaybackExecutableName);
        Form = Env.CreateForm();
    }

    // Into → Connecting → View Options with `game` chosen → Next.
    void ChooseGame(const std::string& host, const QString& game, bool audioOnly = false) {
        Form->Into->ComboBoxViewHost->setEditText(QString::fromStdString(host));
        Form->SelectMode(WizardMode::ViewServer);
        Form->ExecuteAction(Form->ActionNext);
        // When playback would start, and how far the assembly had got by
        // then. Playback itself stays off: its synchronisation would launch
        // the game and use up the demo starts this test looks at.
        TCastAssembler& assembly = Form->ViewRun()->Assembly();
        assembly.StartPlayback = [this, &assembly](std::int32_t section) {
            PlaybackStarts.push_back({section, assembly.LastCompletedSection()});
        };
        if (OnRun)
            OnRun(*Form->ViewRun());
        ASSERT_EVENTUALLY_EQ(Form->CurrentPage(), int(PageViewOptions), Deadline);
        QComboBox* games = Form->ViewOptions->ComboBoxGames;
        games->setCurrentIndex(games->findText(game));
        Form->ViewOptions->CheckBoxAudioOnly->setChecked(audioOnly);
        Form->ExecuteAction(Form->ActionNext);
    }

    std::string Rebuilt(int section) const {
        return Env.GameDirectory() + "NELQ/recordings/nelqdemo" + std::to_string(section) + ".rec";
    }
    std::string CastFile(const std::string& game, const std::string& name) const {
        return Form->StreamsDirectory().toStdString() + game + "/" + name;
    }
    int RebuiltRecordings() const {
        int count = 0;
        for (const auto& entry :
             std::filesystem::directory_iterator(Env.GameDirectory() + "NELQ/recordings"))
            count += entry.path().extension() == ".rec";
        return count;
    }

    ClientEnvironment Env;
    std::unique_ptr<TFormMain> Form;
    std::vector<std::pair<std::int32_t, std::int32_t>> PlaybackStarts; // section, last completed
    std::function<void(TViewingRun&)> OnRun; // what a test adds to each new run
};

// The demo time the stand-in last reported; -1 while it has not.
std::int64_t DemoProgress(const std::string& gameDirectory) {
    const std::string text = ReadAll(gameDirectory + "NELQ/demoprog.txt");
    if (text.size() < 3 || text.compare(text.size() - 2, 2, "\r\n") != 0)
        return -1;
    return std::atoll(text.c_str());
}

bool GameWindowShown() {
    return RunCommand("xwininfo -root -tree").Output.find("\"Tribes 2\": (") != std::string::npos;
}

TEST_F(ViewingAssembly, APickedStartRebuildsItsRecordingsAndTheGamePlaysOne) {
    TCastServer server("127.0.0.150", Env.Dir / "casts");
    const TFilmedCast cast(Env.Dir / "filmed",
                           {Kind::StartPoint, Kind::Body, Kind::Body, Kind::StartPoint, Kind::Body,
                            Kind::Fake, Kind::StartPoint, Kind::Body});
    server.Film("FINAL", cast.Parts());
    // What an earlier viewing of this cast left behind is replaced.
    WriteAll(Form->StreamsDirectory().toStdString() + "FINAL/completed.dat",
             "audio\r\n\"9\",\"9\"\r\n");

    ChooseGame(server.Address, "FINAL");
    ASSERT_EVENTUALLY_EQ(Form->CurrentPage(), int(PageSectionPick), Deadline);
    QTreeWidget* list = Form->SectionPick->ListViewSections;
    ASSERT_EQ(list->topLevelItemCount(), 3);
    Form->SectionPick->RadioButtonPickPlayFromLaterPoint->setChecked(true);
    list->setCurrentItem(list->topLevelItem(1));
    Form->ExecuteAction(Form->ActionNext);
    EXPECT_EQ(Form->ViewRun()->StartSection(), 3);
    ASSERT_EVENTUALLY(Form->ViewRun()->ViewerThread()->Finished(), Deadline);
    EXPECT_TRUE(Form->ViewRun()->Assembly().StreamsEnded());

    // The fake section ends the first rebuilt recording; the start point
    // after it begins a second one named after itself.
    ExpectRebuiltRecording(Rebuilt(3), cast.Sections[3].Head, cast.PacketsOf(3, 4));
    ExpectRebuiltRecording(Rebuilt(6), cast.Sections[6].Head, cast.PacketsOf(6, 7));
    EXPECT_EQ(RebuiltRecordings(), 2);
    EXPECT_EQ(ReadAll(CastFile("FINAL", "completed.dat")), cast.CompletedList(3, 7));
    ASSERT_EQ(Form->ViewRun()->Assembly().DemoStarts().Count(), 2);
    EXPECT_EQ(Form->ViewRun()->Assembly().DemoStarts().Items(1).FirstSection, 6);
    EXPECT_EQ(Form->ViewRun()->Assembly().DemoStarts().Items(1).StartTimeMs, 3000); // sections 3, 4, 5

    // Playback began once the third section from the start point was there.
    ASSERT_EQ(PlaybackStarts.size(), 1u);
    EXPECT_EQ(PlaybackStarts[0], std::make_pair(3, 5));

    EXPECT_EQ(Form->Viewing->LabelBuffer->text(), "Waiting for next section...");

    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display for the game stand-in (scripts/test provides one)";
    Form->Settings().WriteString(SettingsSection, "GameLauncher",
                                QString::fromStdString("'" + StandinProgram() + "'"));
    ConfiguredGameStarter games(Env.GameDirectory(), Form->Settings());
    games.Launch(3);
    // The stand-in opens its window before it reports any progress.
    ASSERT_EVENTUALLY(DemoProgress(Env.GameDirectory()) >= 0, Deadline);
    EXPECT_TRUE(GameWindowShown());
    EXPECT_TRUE(StandInRunningIn(Env.GameDirectory()));
    const std::int64_t first = DemoProgress(Env.GameDirectory());
    ASSERT_EVENTUALLY(DemoProgress(Env.GameDirectory()) > first + 500, Deadline);
    // The game quits by itself at the end of the recording.
    ASSERT_EVENTUALLY(!StandInRunningIn(Env.GameDirectory()), Deadline);
    EXPECT_GE(DemoProgress(Env.GameDirectory()), 3000);
}

TEST_F(ViewingAssembly, AudioOnlyRebuildsNothingAndACastOfOneStartPointPlaysFromItsStart) {
    TCastServer server("127.0.0.151", Env.Dir / "casts");
    const TFilmedCast cast(Env.Dir / "filmed", {Kind::StartPoint, Kind::Body, Kind::Body});
    server.Film("SOLO", cast.Parts());

    ChooseGame(server.Address, "SOLO", true);
    ASSERT_EVENTUALLY(Form->ViewRun()->ViewerThread()->Finished(), Deadline);
    EXPECT_TRUE(Form->Settings().ReadBool(SettingsSection, "AudioOnly", false));
    // Without a demo stream the server sends no tag to keep.
    EXPECT_EQ(ReadAll(CastFile("SOLO", "completed.dat")),
              "audio\r\n\"0\",\"0\"\r\n\"1\",\"0\"\r\n\"2\",\"0\"\r\n");
    EXPECT_FALSE(std::filesystem::exists(CastFile("SOLO", "demo_0.rec")));
    EXPECT_EQ(RebuiltRecordings(), 0);
    EXPECT_EQ(Form->ViewRun()->Assembly().DemoStarts().Count(), 0);
    EXPECT_EQ(Form->ViewRun()->Assembly().AudioEndTime()[2], 3000);
    ASSERT_EQ(PlaybackStarts.size(), 1u);
    EXPECT_EQ(PlaybackStarts[0], std::make_pair(0, 2));
}

TEST_F(ViewingAssembly, BackInTheMiddleOfACastLeavesItsRecordingFinished) {
    TCastServer server("127.0.0.152", Env.Dir / "casts");
    const TFilmedCast cast(Env.Dir / "filmed", {Kind::StartPoint, Kind::Body});
    // The filmer drops out: the viewer waits for sections that do not come.
    server.Film("LIVE", cast.Parts(), false);

    ChooseGame(server.Address, "LIVE");
    ASSERT_EVENTUALLY_EQ(Form->ViewRun()->Assembly().LastCompletedSection(), 1, Deadline);
    EXPECT_TRUE(Form->ViewRun()->Assembly().RecordingOpen());
    EXPECT_FALSE(
        InflateWithPython(Rebuilt(0), static_cast<std::int64_t>(cast.Sections[0].Head.size()))
            .Complete);
    // Neither has the cast ended nor has a third section come: no playback yet.
    EXPECT_TRUE(PlaybackStarts.empty());

    Form->SetPendingRequest({{}, "LIVE", {}});
    Form->ExecuteAction(Form->ActionBack);
    EXPECT_EQ(Form->CurrentPage(), PageInto);
    EXPECT_FALSE(Form->ViewRun());
    EXPECT_TRUE(Form->PendingRequest().LinkGame.isEmpty());
    ExpectRebuiltRecording(Rebuilt(0), cast.Sections[0].Head, cast.PacketsOf(0, 1));
}

TEST_F(ViewingAssembly, SectionsThatCannotBeAssembledAreFetchedOnceAndTheCastPlaysOn) {
    TCastServer server("127.0.0.154", Env.Dir / "casts");
    const TFilmedCast cast(Env.Dir / "filmed", {Kind::StartPoint, Kind::Body, Kind::Body,
                                                Kind::Fake, Kind::StartPoint, Kind::Body});
    std::vector<TSectionParts> parts = cast.Parts();
    parts[1].Audio = "OggS, and nothing of Vorbis after it";
    std::string& damaged = parts[2].Demo;
    const std::size_t middle = (static_cast<std::size_t>(parts[2].BodyOffset) + damaged.size()) / 2;
    for (std::size_t i = middle; i < middle + 16; ++i)
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    server.Film("BROKEN", parts);
    std::vector<std::string> failures;
    std::vector<std::string> statuses;
    OnRun = [&](TViewingRun& run) {
        run.Assembly().ReportSectionFailure = [&](const std::string& text) {
            failures.push_back(text);
        };
        TViewerThread& viewer = *run.ViewerThread();
        viewer.OnStatus = [&, shown = viewer.OnStatus](const std::string& text) {
            statuses.push_back(text);
            shown(text);
        };
    };
    ChooseGame(server.Address, "BROKEN");
    ASSERT_EVENTUALLY_EQ(Form->CurrentPage(), int(PageSectionPick), Deadline);
    Form->ExecuteAction(Form->ActionNext); // from the start
    ASSERT_EVENTUALLY(Form->ViewRun()->ViewerThread()->Finished(), Deadline);

    // Each section came once: no transfer was resumed.
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Attempting to resume transfer..."), 0);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].rfind("Section 2 plays without its demo part: ", 0), 0u) << failures[0];
    EXPECT_EQ(ReadAll(CastFile("BROKEN", "completed.dat")), cast.CompletedList(0, 5));
    EXPECT_EQ(Form->ViewRun()->Assembly().LastCompletedSection(), 5);
    EXPECT_EQ(Form->ViewRun()->Assembly().AudioEndTime()[1], Form->ViewRun()->Assembly().AudioEndTime()[0]);
    // The damaged section ends the first recording; the next start point begins a new one.
    ExpectRebuiltRecording(Rebuilt(0), cast.Sections[0].Head, cast.PacketsOf(0, 1));
    ExpectRebuiltRecording(Rebuilt(4), cast.Sections[4].Head, cast.PacketsOf(4, 5));
    EXPECT_EQ(RebuiltRecordings(), 2);
    ASSERT_EQ(PlaybackStarts.size(), 1u);
    EXPECT_EQ(PlaybackStarts[0], std::make_pair(0, 2));
}

TEST_F(ViewingAssembly, ACastThatEndsBeforeAnySectionSaysThereIsNothingToPlay) {
    TCastServer server("127.0.0.153", Env.Dir / "casts");
    server.Film("EMPTY", {});

    QString shown;
    HandleModals(
        [&] {
            ChooseGame(server.Address, "EMPTY");
            ASSERT_EVENTUALLY(!shown.isEmpty(), Deadline);
        },
        [&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_TRUE(box);
            shown = box->windowTitle() + "|" + box->text();
            box->button(QMessageBox::Ok)->click();
        });
    EXPECT_EQ(shown, "NELQ Client Software|The cast ended before any of its sections arrived, "
                     "so there is nothing to play.");
    EXPECT_TRUE(PlaybackStarts.empty());
    EXPECT_FALSE(Form->ViewRun() && Form->ViewRun()->Sync());
    EXPECT_EQ(RebuiltRecordings(), 0);
    Form->StopAll();
}

} // namespace
