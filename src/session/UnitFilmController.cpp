#include "session/UnitFilmController.h"

#include "audio/UnitAudioCapture.h"
#include "audio/UnitEncodingThread.h"
#include "net/UnitFilmerThread.h"
#include "session/RunEndings.h"
#include "session/StatusPanel.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <initializer_list>

TFilmController::TFilmController(SyncContext& sync, TFilmingControls controls)
    : Sync(sync), Controls(controls) {
    StatusPanel::SetColours(Controls.PanelAudioRecording, StatusPanel::Red, StatusPanel::White);
    StatusPanel::SetColours(Controls.PanelDemoRecording, StatusPanel::Navy, StatusPanel::White);
    HideControls();
}

TFilmController::~TFilmController() {
    // The window, music mixer and all, may be going too.
    StopMusic = nullptr;
    Stop();
}

void TFilmController::Stop() {
    if (Stopping)
        return;
    Stopping = true;
    HideControls();
    Controls.TimerNoDemoSections->stop();
    StopCapture();
    StopFilmer();
    StopEncoder();
}

void TFilmController::HideControls() {
    for (QWidget* w : std::initializer_list<QWidget*>{
             Controls.PanelAudioRecording, Controls.PanelDemoRecording, Controls.ButtonStopFilming,
             Controls.PanelPleaseWait, Controls.LabelUploadBacklog, Controls.ButtonMusicMixer})
        w->hide();
    Controls.TimerRecording->stop();
}

void TFilmController::SetCaptureSection(std::int32_t section) {
    FCaptureSection = section;
    if (FAudioCapture)
        FAudioCapture->SetCaptureSection(section);
}

void TFilmController::StartFilming(const TFilmSettings& settings) {
    CreateCapture(settings);
    if (ShowConnectingPage)
        ShowConnectingPage();
    StartEncoder(settings);
    StartFilmer(settings);
    FAudioCapture->SetEncoder(FEncodingThread.get());
    FAudioCapture->Start();
    FFilmerThread->QueueFake();
    Controls.TimerNoDemoSections->start();
}

void TFilmController::CreateCapture(const TFilmSettings& settings) {
    // The old capture hands its packets to the old encoder; it must not outlive it.
    StopCapture();
    auto capture = std::make_unique<TAudioCapture>(settings.RecordingType, CaptureDevice);
    capture->SetCaptureSection(FCaptureSection);
    capture->SetMixHook(MixMusic);
    capture->SetOnError([this](const std::string& message) {
        if (OnStatus)
            OnStatus(message);
    });
    capture->SelectRecordingFormat(settings.AudioIndex);
    FAudioCapture = std::move(capture);
}

void TFilmController::StartEncoder(const TFilmSettings& settings) {
    FEncodingThread =
        std::make_unique<TEncodingThread>(Sync, settings.WorkDirectory, settings.AudioIndex);
    FEncodingThread->Start();
}

void TFilmController::StartFilmer(const TFilmSettings& settings) {
    FFilmerThread = std::make_unique<TFilmerThread>(
        Sync, settings.ClientVersion, settings.Host, settings.RecordingsDirectory,
        settings.WorkDirectory, settings.FilmingPassword, settings.GameName, settings.Rate,
        settings.SectionStep);
    FFilmerThread->OnStatus = [this](const std::string& text) {
        if (OnStatus)
            OnStatus(text);
    };
    FFilmerThread->OnUnreachable = [this](int tries) {
        if (ShowEnding && !Stopping)
            ShowEnding(tries > 0 ? UnreachableEnding(tries) : TEnding{});
    };
    FFilmerThread->OnEnded = [this](TThreadEnding ending) {
        if (ShowEnding && !Stopping)
            ShowEnding(ThreadEnding(ending, TRunKind::Filming));
    };
    FFilmerThread->OnBytesSent = [this](std::int32_t bytes) { OnBytesSent(bytes); };
    FFilmerThread->OnAudioCut = [this](std::int32_t section) { OnAudioCut(section); };
    FFilmerThread->SetPassInterval(UploadPassInterval);
    FFilmerThread->Start();
}

// A run that is ending shows nothing more: its notifications still arrive
// while its threads are waited for.
void TFilmController::OnBytesSent(std::int32_t bytes) {
    if (Stopping)
        return;
    if (ShowFilmingPage)
        ShowFilmingPage();
    char text[96];
    std::snprintf(text, sizeof text, "Transfered %d KB to NELQ server", bytes / 1024);
    Controls.LabelTransferedTo->setText(QString::fromLatin1(text));
    ShowUploadBacklog();
}

void TFilmController::ShowUploadBacklog() {
    QLabel* label = Controls.LabelUploadBacklog;
    if (!FFilmerThread || Controls.PanelPleaseWait->isHidden()) {
        label->hide();
        return;
    }
    const TFilmerThread::TUploadBacklog backlog = FFilmerThread->UploadBacklog();
    const long long kilobytes = (backlog.Bytes + 1023) / 1024;
    char text[128];
    if (backlog.Sections == 0)
        std::snprintf(text, sizeof text, "Everything is sent; waiting for the server to confirm.");
    else
        std::snprintf(text, sizeof text, "Still to upload: %d section%s, %lld KB.",
                      static_cast<int>(backlog.Sections), backlog.Sections == 1 ? "" : "s",
                      kilobytes);
    label->setText(QString::fromLatin1(text));
    label->show();
}

void TFilmController::OnAudioCut(std::int32_t section) {
    if (Stopping)
        return;
    // The end of a recording cuts the audio for the fake section that follows,
    // and queueing that fake a pass later cuts under the same number again.
    // Only a new number starts a new audio part: restarting the part would
    // lose the commentary captured since the first cut.
    const bool newSection = section != FCaptureSection;
    SetCaptureSection(section);
    if (FEncodingThread && newSection) {
        // One lock for both markers, so no captured block falls between them.
        TBlockQueueLock queue(*FEncodingThread);
        queue.Blocks().AddInfo(section, InfoCompleteSection);
        queue.Blocks().AddInfo(section, InfoCreateSection);
    }
    const bool finishing = !Controls.PanelPleaseWait->isHidden();
    for (QWidget* w : std::initializer_list<QWidget*>{
             Controls.PanelAudioRecording, Controls.ButtonStopFilming, Controls.ButtonMusicMixer})
        w->setVisible(!finishing);
    Controls.TimerRecording->start();
}

void TFilmController::TimerRecordingTimer() {
    QTimer* timer = Controls.TimerRecording;
    timer->stop();
    // Enabled again however the handler ends.
    struct Restart {
        QTimer* Timer;
        ~Restart() { Timer->start(); }
    } restart{timer};

    if (FFilmerThread)
        Controls.PanelDemoRecording->setVisible(!FFilmerThread->IsAllowFake() &&
                                                Controls.PanelPleaseWait->isHidden());
    ShowUploadBacklog();
    Blink();
}

void TFilmController::Blink() {
    using namespace StatusPanel;
    QLabel* audio = Controls.PanelAudioRecording;
    QLabel* demo = Controls.PanelDemoRecording;
    const bool demoShown = !demo->isHidden();
    if (Background(audio) == Red) {
        SetColours(audio, White, Red);
        if (demoShown)
            SetColours(demo, White, Navy);
    } else {
        SetColours(audio, Red, White);
        if (demoShown)
            SetColours(demo, Navy, White);
    }
}

void TFilmController::TimerNoDemoSectionsTimer() {
    if (!FFilmerThread)
        return;
    FFilmerThread->ReleaseFake();
    FFilmerThread->QueueFake();
}

void TFilmController::ButtonStopFilmingClick() {
    Controls.PanelPleaseWait->show();
    if (FFilmerThread)
        FFilmerThread->SetAccepting(false);
    if (StopMusic)
        StopMusic();
    for (QWidget* w : std::initializer_list<QWidget*>{
             Controls.ButtonMusicMixer, Controls.PanelAudioRecording, Controls.ButtonStopFilming})
        w->hide();
    ShowUploadBacklog();
}

void TFilmController::StopCapture() {
    if (!FAudioCapture)
        return;
    FAudioCapture->Stop();
    FAudioCapture.reset();
    // Nothing takes the music any more: it stops with the run, as "Stop
    // Recording" stops it, instead of looping the playlist on its own.
    if (StopMusic)
        StopMusic();
}

// Each thread is taken out of its field before it is waited for: events run
// meanwhile, and nothing they start may reach a thread that is ending.
void TFilmController::StopFilmer() {
    const auto thread = std::move(FFilmerThread);
    // Stop shuts the socket first, so a blocking read ends at once.
    if (thread)
        thread->Stop();
}

void TFilmController::StopEncoder() {
    if (const auto thread = std::move(FEncodingThread))
        thread->Stop();
}
