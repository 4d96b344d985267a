#include "OfflineCastFiles.h"
#include "EventWait.h"
#include "QtTestSupport.h"
#include "app/UnitFormMain.h"
#include "session/ViewingRun.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesStatus.h"
#include "playback/ArchiveExport.h"
#include "playback/OfflineViewing.h"
#include "playback/PlaybackSync.h"
#include "BuildTree.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr int Deadline = 60000;

// Two rebuilt recordings with a section without a game between them, and
// the recordings a plain replay of that cast rebuilds.
struct TSampleCast {
    TCastFixture Cast;
    std::map<int, std::string> Recordings;

    TSampleCast() {
        StoreRecordingSections(Cast, 0, 2);
        Cast.StoreFakeSection(3);
        StoreRecordingSections(Cast, 4, 5);
        WriteCompletedList(Cast.CastDirectory(), {0, 1, 2, 3, 4, 5});
        TProbedAssembler probe;
        ReplayCast(probe.Assembler, Cast.Settings(0), LoadPlayableCast(Cast.CastDirectory(), false),
                   {});
        for (const int first : {0, 4})
            Recordings[first] = ReadBytes(Cast.RebuiltPath(first));
    }
    void CopyTo(const std::string& castDirectory) const {
        fs::create_directories(castDirectory);
        for (const auto& entry : fs::directory_iterator(Cast.CastDirectory()))
            fs::copy_file(entry.path(), castDirectory + "/" + entry.path().filename().string());
    }
};

class OfflineWindow : public ::testing::Test {
protected:
    void SetUp() override {
        Env.InstallGame("valid.exe", PlaybackExecutableName);
        Form = Env.CreateForm();
        ASSERT_EQ(Form->CurrentPage(), PageInto);
    }

    std::string Streams() const { return Env.Dir / "home/streams/"; }
    std::string Rebuilt(int first) const {
        return Env.GameDirectory() + "NELQ/recordings/nelqdemo" + std::to_string(first) + ".rec";
    }
    void ExpectOriginalRecordings() const {
        for (const auto& [first, bytes] : Sample.Recordings)
            EXPECT_TRUE(ReadAll(Rebuilt(first)) == bytes) << "recording " << first;
    }
    QString Console() const { return Form->Connecting->MemoConsole->toPlainText(); }
    void Select(const QString& name) {
        Form->ShowPage(PageInto);
        const QList<QTreeWidgetItem*> found =
            Form->Into->ListViewOffline->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        Form->Into->ListViewOffline->setCurrentItem(found.first());
        Form->SelectMode(WizardMode::ViewOffline);
    }
    // Runs a step that must show no message box, answering any that opens.
    void WithoutBoxes(const std::function<void()>& step) {
        const QString box = AnswerMessageBox(step);
        EXPECT_TRUE(box.isEmpty()) << box.toStdString();
    }
    void ExpectPlayingAndEnded() {
        EXPECT_EQ(Console(), "Extraction Complete.\nInitialising Playback...");
        EXPECT_EQ(Form->CurrentPage(), PageConnecting);
        ASSERT_TRUE(Form->ViewRun() && Form->ViewRun()->Sync()) << "playback started";
        EXPECT_EQ(Form->ViewRun()->StartSection(), 0);
        EXPECT_GE(Form->ViewRun()->Sync()->PlaySection(), 0);
        EXPECT_TRUE(Form->ViewRun()->Assembly().StreamsEnded());
        EXPECT_FALSE(Form->ViewRun()->Assembly().RecordingOpen());
        EXPECT_EQ(Form->OfflineViewing->ProgressBarExtract->maximum(), 7);
        ExpectOriginalRecordings();
    }

    TSampleCast Sample;
    ClientEnvironment Env;
    std::unique_ptr<TFormMain> Form;
};

} // namespace

TEST_F(OfflineWindow, ArchiveGivenOnTheCommandLineIsExtractedAndPlayed) {
    const std::string archive = Env.Dir / "Downloads/cast.qmx";
    fs::create_directories(Env.Dir / "Downloads");
    ExportCastArchive(Sample.Cast.CastDirectory(), archive);
    Form->SetPendingRequest({{}, {}, QString::fromStdString(archive)});
    WithoutBoxes([&] {
        Form->show();
        ASSERT_EVENTUALLY(Console().contains("Initialising Playback..."), Deadline);
    });
    EXPECT_TRUE(Form->PendingRequest().Archive.isEmpty());
    EXPECT_EQ(Form->ViewRun()->CurrentGame(), "ACTIVE");
    ExpectPlayingAndEnded();

    // "ACTIVE" is never offered; the archive outside the store is not listed.
    Form->StopAll();
    Form->ShowPage(PageInto);
    EXPECT_EQ(Form->Into->ListViewOffline->topLevelItemCount(), 0);
}

TEST_F(OfflineWindow, StoredCastIsExportedFromTheListAndTheExportPlaysTheSame) {
    Sample.CopyTo(Streams() + ".My Cäst 1");
    Select(QStringLiteral(".My Cäst 1"));
    ASSERT_TRUE(Form->Into->ActionExportArchive->isEnabled());
    HandleModals([&] { Form->Into->ActionExportArchive->trigger(); },
                 [&](QWidget* modal) {
                     auto* dialog = qobject_cast<QFileDialog*>(modal);
                     ASSERT_NE(dialog, nullptr);
                     dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                         ->setText(QStringLiteral("export"));
                     QMetaObject::invokeMethod(dialog, "accept");
                 });
    ASSERT_TRUE(fs::exists(Streams() + "export.qmx"));

    Select(QStringLiteral("export.qmx"));
    EXPECT_FALSE(Form->Into->ActionExportArchive->isEnabled()) << "an archive already is one";
    WithoutBoxes([&] { Form->ExecuteAction(Form->ActionNext); });
    EXPECT_EQ(Form->ViewRun()->CurrentGame(), "ACTIVE");
    ExpectPlayingAndEnded();

    // The stored cast itself plays the same, under its own odd name.
    Form->StopAll();
    fs::remove_all(Env.GameDirectory() + "NELQ/recordings");
    Form->Connecting->MemoConsole->clear();
    Select(QStringLiteral(".My Cäst 1"));
    WithoutBoxes([&] { Form->ExecuteAction(Form->ActionNext); });
    EXPECT_EQ(Form->ViewRun()->CurrentGame(), ".My Cäst 1");
    ExpectPlayingAndEnded();
}

TEST_F(OfflineWindow, CastsThatCannotPlayShowTheErrorAndLeaveTheWizardUsable) {
    Sample.CopyTo(Streams() + "Short");
    WriteCompletedList(Streams() + "Short/", {0});
    Select(QStringLiteral("Short"));
    EXPECT_EQ(AnswerMessageBox([&] { Form->ExecuteAction(Form->ActionNext); }),
              "NELQ Client Software|Insufficient sections to begin viewing");
    EXPECT_EQ(Form->CurrentPage(), PageInto);
    EXPECT_FALSE(fs::exists(Env.GameDirectory() + "NELQ/recordings"));

    WriteAll(Streams() + "junk.qmx", "not an archive");
    Select(QStringLiteral("junk.qmx"));
    EXPECT_TRUE(AnswerMessageBox([&] {
                    Form->ExecuteAction(Form->ActionNext);
                }).endsWith("junk.qmx\": Not a zip archive"));
    EXPECT_EQ(Form->CurrentPage(), PageInto);

    // A section whose demo part fails on the way is reported and played
    // without it; the cast goes on, Back works.
    Sample.CopyTo(Streams() + "Damaged");
    WriteAll(Streams() + "Damaged/demo_4.rec", "BZh91AY&SY broken");
    Select(QStringLiteral("Damaged"));
    EXPECT_EQ(AnswerMessageBox([&] { Form->ExecuteAction(Form->ActionNext); }), "");
    EXPECT_EQ(Form->CurrentPage(), PageConnecting);
    EXPECT_TRUE(Console().startsWith("Section 4 plays without its demo part"))
        << Console().toStdString();
    EXPECT_TRUE(Console().endsWith("Extraction Complete.\nInitialising Playback..."));
    EXPECT_TRUE(Form->ViewRun()->Assembly().StreamsEnded());
    EXPECT_FALSE(Form->ViewRun()->Assembly().RecordingOpen());
    EXPECT_TRUE(ReadAll(Rebuilt(0)) == Sample.Recordings.at(0));
    Form->UpdateActions();
    EXPECT_TRUE(Form->ActionBack->isEnabled());

    // A cast none of whose audio can be played: the error is shown, and the
    // console says what happened and what to do.
    AnswerMessageBox([&] { Form->ExecuteAction(Form->ActionBack); }, "&Yes");
    ASSERT_EQ(Form->CurrentPage(), PageInto);
    Sample.CopyTo(Streams() + "Silent");
    for (const auto& entry : fs::directory_iterator(Streams() + "Silent"))
        if (entry.path().extension() == ".ogg")
            WriteAll(entry.path(), "not Ogg Vorbis");
    Select(QStringLiteral("Silent"));
    EXPECT_FALSE(AnswerMessageBox([&] { Form->ExecuteAction(Form->ActionNext); }).isEmpty());
    EXPECT_EQ(Form->CurrentPage(), PageConnecting);
    EXPECT_EQ(Console(), "Extraction Complete.\nInitialising Playback...\nThis cast could not be "
                         "read. Press Back to choose another.");
    EXPECT_EQ(Form->Connecting->LabelEnding->text(), "The cast could not be read.");
}

TEST_F(OfflineWindow, ClientStartedWithAnArchiveRebuildsTheOriginalRecordings) {
    const std::string archive = Env.Dir / "cast with spaces.qmx";
    ExportCastArchive(Sample.Cast.CastDirectory(), archive);
    QProcess client;
    client.setProgram(QString::fromStdString(ClientProgram()));
    // Unquoted, as a file manager may pass it: the words are joined again.
    client.setArguments(QString::fromStdString(archive).split(' '));
    client.setProcessChannelMode(QProcess::ForwardedChannels);
    client.start();
    ASSERT_TRUE(client.waitForStarted());
    const auto rebuilt = [&] {
        for (const auto& [first, bytes] : Sample.Recordings)
            if (ReadAll(Rebuilt(first)) != bytes)
                return false;
        return true;
    };
    ASSERT_EVENTUALLY(rebuilt(), Deadline);
    client.kill();
    client.waitForFinished();
}
