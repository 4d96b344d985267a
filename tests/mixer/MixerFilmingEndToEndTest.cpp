// Filming from the wizard to the real casting server with the music mixer
// playing: the commentary tone captured from the sound server and the music
// tone from the mixer both reach the encoded sections at the slider levels,
// and "Stop Recording" stops the music.

#include "../app/QtTestSupport.h"
#include "PrivateSoundDevice.h"
#include "MixerTestFiles.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesFilmer.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesStatus.h"
#include "mixer/UnitFormMusicMixer.h"
#include "session/UnitFilmController.h"
#include "BuildTree.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTest>

#include <vorbis/vorbisfile.h>

namespace {
const QString Tools = QString::fromStdString(BuildTreePath("tools/"));
constexpr int AudioIndex = 5, Rate = 22050; // 22050 Hz, mono
constexpr double Commentary = 440, Music = 1000;
constexpr int CastVolume = 50, MusicVolume = 30;

class Program {
public:
    void Start(const QString& program, const QStringList& arguments) {
        Process = std::make_unique<QProcess>();
        Process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Process->start(program, arguments);
        ASSERT_TRUE(Process->waitForStarted(10000)) << program.toStdString();
    }
    bool Finished() const { return !Process || Process->state() == QProcess::NotRunning; }
    ~Program() {
        if (Process) {
            Process->kill();
            Process->waitForFinished(10000);
        }
    }
    std::unique_ptr<QProcess> Process;
};

std::vector<int16_t> DecodeOgg(const std::string& path) {
    std::vector<int16_t> samples;
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0)
        return samples;
    char buffer[8192];
    int section = 0;
    long got;
    while ((got = ov_read(&file, buffer, sizeof buffer, 0, 2, 1, &section)) > 0) {
        const auto* pcm = reinterpret_cast<const int16_t*>(buffer);
        samples.insert(samples.end(), pcm, pcm + got / 2);
    }
    ov_clear(&file);
    return samples;
}

class MixerFilmingEndToEnd : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("NELQ_TEST_AUDIO"))
            GTEST_SKIP() << "needs the private sound server of scripts/test-env";
        Env.InstallGame("valid.exe", PlaybackExecutableName);
        Speakers = std::make_unique<TPrivateSoundDevice>();
        // The commentary comes from a microphone of this test's own: other
        // tests may play into the shared sink meanwhile. Mono, as the capture
        // is, so that its level is the one played.
        Microphone = std::make_unique<TPrivateSoundDevice>(1);
        Form = Env.CreateForm();
        Form->SetCaptureDevice(Microphone->Monitor());
        // The music is heard on a sink of its own, so that the capture takes
        // it only through the mixer.
        Form->SetMusicMonitorDevice(Speakers->Output());
        Form->show();
        ASSERT_TRUE(Form->MusicMixer());
        EXPECT_TRUE(Form->MusicMixer()->isHidden());
        Form->MusicMixer()->SliderCastVolume->setValue(CastVolume);
        Form->MusicMixer()->SliderMusicVolume->setValue(MusicVolume);
        Recordings = Env.Dir / "recordings/";
        Casts = Env.Dir / "casts";
        std::filesystem::create_directories(Recordings);
        // Sections come faster than in a real run, and go up as fast.
        Form->TimerNoDemoSections->setInterval(1500);
        Form->SetUploadPassInterval(std::chrono::milliseconds(250));
    }

    void StartFilming(const QString& host) {
        Server.Start(Tools + "nelq-server/nelq-server",
                     {"--bind", host, "--data", QString::fromStdString(Casts)});
        Form->Settings().WriteInteger("Settings", "AudioIndex", AudioIndex);
        Form->SelectMode(WizardMode::Film);
        Form->Into->ComboBoxFilmHost->setEditText(host);
        Form->ExecuteAction(Form->ActionNext);
        ASSERT_EQ(Form->CurrentPage(), PageFilmOptions);
        Form->FilmOptions->EditGameName->setText("MIXED");
        Form->FilmOptions->EditPassword->setText("pw");
        Form->FilmOptions->EditDemoPathName->setText(QString::fromStdString(Recordings));
        Form->FilmOptions->ComboBoxTransferRate->setEditText("20000");
        Form->FilmOptions->ComboBoxRecordingType->setCurrentIndex(GetParam());
        // A failure to start is a failed test, not a box waiting for a click.
        HandleModals([&] { Form->ExecuteAction(Form->ActionNext); },
                     [](QWidget* box) {
                         if (auto* message = qobject_cast<QMessageBox*>(box))
                             ADD_FAILURE() << message->text().toStdString();
                         box->close();
                     });
        ASSERT_EQ(Form->CurrentPage(), PageConnecting);
        const std::string tone = Env.Dir / "commentary.wav";
        ASSERT_EQ(
            std::system(
                ("sox -n -r 44100 -c 1 -b 16 '" + tone + "' synth 120 sine 440 vol 0.5").c_str()),
            0);
        Tone.Start("paplay", {"-d", Microphone->SinkName(), QString::fromStdString(tone)});
    }

    bool Wait(const std::function<bool()>& done, int limitMs) { return PumpUntil(done, limitMs); }

    std::string CastFile(int section, int part) const {
        return Casts + "/MIXED/section_" + std::to_string(section) + ".part" + std::to_string(part);
    }

    int RealSectionsOnServer() const {
        int real = 0;
        for (int n = 0; std::filesystem::exists(CastFile(n, 0)); ++n)
            real += std::filesystem::file_size(CastFile(n, 0)) > 0;
        return real;
    }

    QString Console() const { return Form->Connecting->MemoConsole->toPlainText(); }

    ClientEnvironment Env;
    std::unique_ptr<TPrivateSoundDevice> Speakers;
    std::unique_ptr<TPrivateSoundDevice> Microphone;
    std::unique_ptr<TFormMain> Form;
    std::string Recordings, Casts;
    Program Server, Game, Tone;
};
} // namespace

TEST_P(MixerFilmingEndToEnd, BothTonesReachTheSectionsAtTheSliderLevelsUntilStopRecording) {
    StartFilming(GetParam() == 0 ? "127.0.0.190" : "127.0.0.191");
    ASSERT_TRUE(Wait([&] { return Form->FilmRun()->CaptureSection() == 0; }, 30000))
        << Console().toStdString();

    // The filmer opens the mixer and plays a track.
    ASSERT_TRUE(Wait([&] { return !Form->Filming->ButtonMusicMixer->isHidden(); }, 30000));
    QTest::mouseClick(Form->Filming->ButtonMusicMixer, Qt::LeftButton);
    TFormMusicMixer& mixer = *Form->MusicMixer();
    EXPECT_TRUE(mixer.isVisible());
    mixer.Mixer->PlayFile(MakeToneMp3(Env.Dir, "music", 120, Music, 44100, 2));
    ASSERT_TRUE(Wait([&] { return mixer.Mixer->Playing(); }, 30000))
        << mixer.StatusBar->currentMessage().toStdString();

    Game.Start(Tools + "t2-standin/t2-standin",
               {"record", QString::fromStdString(Recordings), "--recordings", "2", "--seconds", "4",
                "--gap", "2", "--info", "Map:Katabatic,Mission:CTF"});
    ASSERT_TRUE(Wait([&] { return Game.Finished() && RealSectionsOnServer() == 2; }, 120000))
        << Console().toStdString();
    const int sectionAtStop = Form->FilmRun()->CaptureSection();
    Form->ButtonStopFilmingClick();
    EXPECT_TRUE(mixer.isHidden());
    EXPECT_FALSE(mixer.Mixer->Playing());
    EXPECT_EQ(mixer.TrackBarPlayingTime->value(), 0);
    ASSERT_TRUE(Wait([&] { return Console().contains("Stream upload Complete"); }, 120000))
        << Console().toStdString();
    Form->StopAll();

    // Every section filmed wholly while the music played holds both tones
    // (sections too short to measure a tone in are passed over).
    int checked = 0;
    for (int n = 1; n < sectionAtStop; ++n) {
        const std::vector<int16_t> pcm = DecodeOgg(CastFile(n, 1));
        if (pcm.size() < size_t(Rate))
            continue;
        const std::vector<int16_t> middle(pcm.begin() + Rate / 8, pcm.end() - Rate / 8);
        EXPECT_NEAR(ToneLevel(middle, Rate, Commentary), 16384 * CastVolume / 100.0,
                    16384 * 0.1)
            << n;
        EXPECT_NEAR(ToneLevel(middle, Rate, Music), 16384 * MusicVolume / 100.0, 16384 * 0.1)
            << n;
        ++checked;
    }
    EXPECT_GE(checked, 1);
    // What was filmed after "Stop Recording" has no music.
    for (int n = sectionAtStop + 1; std::filesystem::exists(CastFile(n, 1)); ++n) {
        const std::vector<int16_t> pcm = DecodeOgg(CastFile(n, 1));
        EXPECT_LT(ToneAmplitude(pcm, Rate, Music), 300) << n;
        EXPECT_GT(ToneAmplitude(pcm, Rate, Commentary), 16384 * CastVolume / 100.0 * 0.7) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(BothCaptureMethods, MixerFilmingEndToEnd, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "Directsound" : "ACM"; });

namespace {
// One capture method is enough to see the music go with the run.
class MixerBackEndToEnd : public MixerFilmingEndToEnd {};
} // namespace

TEST_P(MixerBackEndToEnd, BackStopsTheMusicAndDropsWhatItGatheredForTheCast) {
    StartFilming("127.0.0.192");
    ASSERT_TRUE(Wait(
        [&] {
            return Form->CurrentPage() == PageFilming &&
                   !Form->Filming->ButtonMusicMixer->isHidden();
        },
        60000))
        << Console().toStdString();
    QTest::mouseClick(Form->Filming->ButtonMusicMixer, Qt::LeftButton);
    TFormMusicMixer& mixer = *Form->MusicMixer();
    mixer.Mixer->AddToPlaylist(MakeToneMp3(Env.Dir, "music", 30, Music, 44100, 2));
    mixer.Mixer->PlayPlaylistItem(0);
    ASSERT_TRUE(Wait([&] { return mixer.Mixer->Playing(); }, 30000))
        << mixer.StatusBar->currentMessage().toStdString();
    EXPECT_GT(mixer.Mixer->MusicAhead(), 0);

    AnswerMessageBox([&] { Form->ExecuteAction(Form->ActionBack); }, "&Yes");
    EXPECT_EQ(Form->CurrentPage(), PageInto);
    EXPECT_TRUE(mixer.isHidden());
    EXPECT_FALSE(mixer.Mixer->Playing());
    EXPECT_EQ(mixer.Mixer->MusicAhead(), 0);
}

INSTANTIATE_TEST_SUITE_P(OneCaptureMethod, MixerBackEndToEnd, ::testing::Values(0),
                         [](const auto&) { return "Directsound"; });
