// A filming run from the wizard to the casting server, with the real server
// and the game stand-in as separate programs and the commentary captured from
// the private sound server.

#include "../audio/OggFileCheck.h"
#include "PrivateSoundDevice.h"
#include "QtTestSupport.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesFilmer.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesStatus.h"
#include "audio/UnitAudioCapture.h"
#include "audio/UnitAudioQuality.h"
#include "session/UnitFilmController.h"
#include "BuildTree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <vector>

namespace {

const QString Tools = QString::fromStdString(BuildTreePath("tools/"));
constexpr int AudioIndex = 5; // 22050 Hz, mono
constexpr int SectionStep = 2;

// Runs a tool to its end and returns its standard output.
QString RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0) << program.toStdString() << " "
                                     << arguments.join(' ').toStdString() << "\n"
                                     << process.readAllStandardError().toStdString();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

class ChildProgram {
public:
    void Start(const QString& program, const QStringList& arguments) {
        Process = std::make_unique<QProcess>();
        Process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Process->start(program, arguments);
        ASSERT_TRUE(Process->waitForStarted(10000)) << program.toStdString();
    }
    void Kill() {
        if (!Process)
            return;
        Process->kill();
        Process->waitForFinished(10000);
        Process.reset();
    }
    bool Finished() const { return !Process || Process->state() == QProcess::NotRunning; }
    ~ChildProgram() { Kill(); }

    std::unique_ptr<QProcess> Process;
};

class FilmingEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("NELQ_TEST_AUDIO"))
            GTEST_SKIP() << "needs the private sound server of scripts/test-env";
        Env.InstallGame("valid.exe", PlaybackExecutableName);
        // The commentary comes from a microphone of this test's own: other
        // tests may play into the shared sink meanwhile.
        Microphone = std::make_unique<TPrivateSoundDevice>();
        Form = Env.CreateForm();
        Form->SetCaptureDevice(Microphone->Monitor());
        Form->show();
        Recordings = Env.Dir / "recordings/";
        Casts = Env.Dir / "casts";
        std::filesystem::create_directories(Recordings);
        // The fake sections' timer ticks faster than a real run's, so the
        // test spends its time filming rather than waiting; the upload passes
        // quicken to match, or the sections would queue up faster than they go.
        Form->TimerNoDemoSections->setInterval(1500);
        Form->SetUploadPassInterval(std::chrono::milliseconds(250));
        // An error box would wait for a click for ever: note it and close it.
        QObject::connect(&BoxWatch, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "error box: " << box->text().toStdString();
                box->close();
            }
        });
        BoxWatch.start(200);
    }

    void StartServer(const QString& address) {
        Server.Start(Tools + "nelq-server/nelq-server",
                     {"--bind", address, "--data", QString::fromStdString(Casts)});
    }

    void StartFilming(const QString& host) {
        Form->Settings().WriteInteger("Settings", "AudioIndex", AudioIndex);
        Form->SelectMode(WizardMode::Film);
        Form->Into->ComboBoxFilmHost->setEditText(host);
        Form->ExecuteAction(Form->ActionNext);
        ASSERT_EQ(Form->CurrentPage(), PageFilmOptions);
        Form->FilmOptions->EditGameName->setText("FINAL");
        Form->FilmOptions->EditPassword->setText("pw");
        Form->FilmOptions->EditDemoPathName->setText(QString::fromStdString(Recordings));
        Form->FilmOptions->ComboBoxTransferRate->setEditText("20000");
        Form->FilmOptions->ComboBoxSectionStep->setCurrentIndex(SectionStep - 1);
        Form->ExecuteAction(Form->ActionNext);
        ASSERT_EQ(Form->CurrentPage(), PageConnecting);
        // What the capture hands on, by the section it is tagged with.
        Form->FilmRun()->AudioCapture()->SetMixHook([this](uint8_t*, int size) {
            CapturedBytes[Form->FilmRun()->CaptureSection()] += size;
        });
        // Commentary: a tone into the sink that the capture records from.
        const QString tone = QString::fromStdString(Env.Dir / "tone.wav");
        RunTool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "120", "sine",
                        "440", "vol", "0.5"});
        Tone.Start("paplay", {"-d", Microphone->SinkName(), tone});
    }

    // Waits for `done` while noting the time of every audio cut.
    bool WaitWatchingCuts(const std::function<bool()>& done, int limitMs) {
        QElapsedTimer waited;
        waited.start();
        while (!done()) {
            if (waited.elapsed() > limitMs)
                return false;
            QTest::qWait(10);
            const int section = Form->FilmRun()->CaptureSection();
            if (section != LastCut) {
                LastCut = section;
                CutTimes.push_back(Clock.elapsed());
            }
        }
        return true;
    }

    QString Console() const { return Form->Connecting->MemoConsole->toPlainText(); }
    std::string CastFile(const std::string& name) const { return Casts + "/FINAL/" + name; }

    // The whole run: three recordings, "Stop Recording" after the last, the
    // completion on the server.
    void FilmThreeRecordings(const std::function<void()>& meanwhile) {
        Clock.start();
        ASSERT_TRUE(WaitWatchingCuts([&] { return LastCut == 0; }, 30000)) << Console().toStdString();
        Game.Start(Tools + "t2-standin/t2-standin",
                   {"record", QString::fromStdString(Recordings), "--recordings", "3", "--seconds",
                    "4", "--gap", "3", "--info", "Map:Katabatic,Mission:CTF"});
        ASSERT_TRUE(WaitWatchingCuts([&] { return Game.Finished(); }, 90000));
        if (meanwhile)
            meanwhile();
        // The last recording's section must be cut before the run may stop.
        ASSERT_TRUE(WaitWatchingCuts([&] { return RealSectionsOnServer() == 3; }, 120000))
            << Console().toStdString();
        Form->ButtonStopFilmingClick();
        // What is left to upload counts down while "Please wait..." shows.
        std::vector<int> sectionsLeft;
        const QLabel* backlog = Form->Filming->LabelUploadBacklog;
        ASSERT_TRUE(WaitWatchingCuts(
            [&] {
                const QRegularExpressionMatch left =
                    QRegularExpression("^Still to upload: (\\d+) sections?, \\d+ KB\\.$")
                        .match(backlog->text());
                if (!backlog->isHidden() && left.hasMatch() &&
                    (sectionsLeft.empty() || sectionsLeft.back() != left.captured(1).toInt()))
                    sectionsLeft.push_back(left.captured(1).toInt());
                return Console().contains("Stream upload Complete");
            },
            120000))
            << Console().toStdString();
        // A section queued in the pass that the stop reached may add one at first.
        ASSERT_FALSE(sectionsLeft.empty()) << backlog->text().toStdString();
        const auto rises = std::adjacent_find(sectionsLeft.begin() + 1, sectionsLeft.end(),
                                              std::less<int>());
        EXPECT_EQ(rises, sectionsLeft.end()) << ::testing::PrintToString(sectionsLeft);
        EXPECT_EQ(sectionsLeft.back(), 1) << ::testing::PrintToString(sectionsLeft);
        // The run's ending closes the console: what happened, what to do.
        const QString ending = "All sections are uploaded. Press Back to film again.";
        ASSERT_TRUE(WaitWatchingCuts([&] { return Console().endsWith(ending); }, 30000))
            << Console().toStdString();
        EXPECT_EQ(Form->Connecting->LabelEnding->text(), "All sections are uploaded.");
        EXPECT_FALSE(Form->Connecting->LabelEnding->isHidden());
        EXPECT_TRUE(std::filesystem::exists(CastFile("completed")));
        Form->StopAll();
    }

    int RealSectionsOnServer() const {
        int real = 0;
        for (int n = 0; std::filesystem::exists(CastFile("section_" + std::to_string(n) + ".meta"));
             ++n)
            if (std::filesystem::file_size(CastFile("section_" + std::to_string(n) + ".part0")) > 0)
                ++real;
        return real;
    }

    // What the server holds must be what the recording tool makes of the same
    // recordings: start points by the section step, the running total.
    void ExpectTheCastMatchesTheRecordings() {
        std::vector<std::string> recordings;
        for (const auto& entry : std::filesystem::directory_iterator(Recordings))
            if (entry.path().extension() == ".rec")
                recordings.push_back(entry.path().string());
        std::sort(recordings.begin(), recordings.end());
        ASSERT_EQ(recordings.size(), 3u);

        const TAudioQuality& quality = AudioQuality(AudioIndex);
        std::size_t nextRecording = 0;
        int firstReal = -1;
        long long runningTotal = 0;
        double audioSeconds = 0;
        double capturedSeconds = 0;
        int sections = 0;
        for (int n = 0; std::filesystem::exists(CastFile("section_" + std::to_string(n) + ".meta"));
             ++n, ++sections) {
            const std::string part0 = CastFile("section_" + std::to_string(n) + ".part0");
            const std::string part1 = CastFile("section_" + std::to_string(n) + ".part1");
            const TOggFileFacts audio = ReadOggFile(part1);
            EXPECT_EQ(audio.Rate, quality.Rate) << n;
            EXPECT_EQ(audio.Channels, quality.Channels) << n;
            EXPECT_TRUE(audio.LastPageEndsStream) << n;
            audioSeconds += double(audio.Frames) / double(audio.Rate);
            capturedSeconds += double(CapturedBytes[n]) / (2.0 * quality.Rate * quality.Channels);
            if (n == 0) {
                EXPECT_EQ(std::filesystem::file_size(part0), 0u) << "section 0 is a fake section";
            }
            if (std::filesystem::file_size(part0) == 0) {
                firstReal = -1;
                continue;
            }
            ASSERT_LT(nextRecording, recordings.size());
            if (firstReal == -1)
                firstReal = n;
            const std::string& recording = recordings[nextRecording++];
            const std::string expected = Env.Dir / ("expected_" + std::to_string(n));
            QStringList arguments{"section", QString::fromStdString(recording),
                                  QString::fromStdString(expected), "--running-total",
                                  QString::number(runningTotal)};
            if ((n - firstReal) % SectionStep == 0)
                arguments << "--start-point";
            RunTool(Tools + "nelq-rec/nelq-rec", arguments);
            EXPECT_TRUE(ReadAll(part0) == ReadAll(expected)) << "section " << n;
            runningTotal += DurationMs(recording);
        }
        EXPECT_EQ(nextRecording, recordings.size());

        // Every captured packet of the uploaded sections is in their audio.
        EXPECT_NEAR(audioSeconds, capturedSeconds, 0.3) << sections << " sections";
        // The capture itself keeps up with the clock from the first cut to the
        // last (loosely: the machine running the tests may be loaded).
        ASSERT_GE(CutTimes.size(), 2u);
        const double filmed = double(CutTimes.back() - CutTimes.front()) / 1000.0;
        EXPECT_GT(capturedSeconds, 0.8 * filmed);
        std::printf("%d sections: %.2f s filmed, %.2f s captured, %.2f s encoded\n", sections,
                    filmed, capturedSeconds, audioSeconds);
    }

    static long long DurationMs(const std::string& recording) {
        const QString info =
            RunTool(Tools + "nelq-rec/nelq-rec", {"info", QString::fromStdString(recording)});
        for (const QString& line : info.split('\n'))
            if (line.startsWith("duration_ms"))
                return line.section(QRegularExpression("[=:\\s]+"), 1, 1).toLongLong();
        ADD_FAILURE() << "no duration in: " << info.toStdString();
        return 0;
    }

    ClientEnvironment Env;
    std::unique_ptr<TPrivateSoundDevice> Microphone;
    std::unique_ptr<TFormMain> Form;
    std::string Recordings;
    std::string Casts;
    ChildProgram Server;
    ChildProgram Game;
    ChildProgram Tone;
    QTimer BoxWatch;
    QElapsedTimer Clock;
    int LastCut = -1;
    std::vector<qint64> CutTimes;
    std::map<int, long long> CapturedBytes;
};

} // namespace

TEST_F(FilmingEndToEnd, ThreeRecordingsAndTheirCommentaryReachTheServerWhole) {
    StartServer("127.0.0.221");
    StartFilming("127.0.0.221");
    FilmThreeRecordings({});
    ExpectTheCastMatchesTheRecordings();
}

TEST_F(FilmingEndToEnd, AServerRestartInTheMiddleLosesNothing) {
    StartServer("127.0.0.222");
    StartFilming("127.0.0.222");
    FilmThreeRecordings([&] {
        // Kill the server once a real section is on its way, bring it back.
        ASSERT_TRUE(WaitWatchingCuts([&] { return RealSectionsOnServer() >= 1; }, 60000));
        Server.Kill();
        ASSERT_TRUE(WaitWatchingCuts([&] { return Console().contains("Disconnected"); }, 30000));
        StartServer("127.0.0.222");
        ASSERT_TRUE(WaitWatchingCuts(
            [&] { return Console().contains("Attempting to resume transfer..."); }, 60000))
            << Console().toStdString();
    });
    ExpectTheCastMatchesTheRecordings();
}
