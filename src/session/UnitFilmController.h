#pragma once

#include <QAudioDevice>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QPushButton;
class QTimer;
class SyncContext;
class TAudioCapture;
class TEncodingThread;
class TFilmerThread;
struct TEnding;

// What a filming run is started with, as the "Film Options" page and the
// settings give it.
struct TFilmSettings {
    std::string ClientVersion;
    std::string Host;
    std::string FilmingPassword;
    std::string GameName;
    std::string RecordingsDirectory;
    std::string WorkDirectory; // where the section files are made, with a trailing separator
    std::int32_t Rate = 0;     // bytes per second
    std::int32_t SectionStep = 1;
    int RecordingType = 0; // 0 polled capture stream, 1 buffered capture component
    int AudioIndex = 0;
};

// The controls of the "Filming" page and the two filming timers, owned by the window.
struct TFilmingControls {
    QLabel* LabelTransferedTo;
    QLabel* PanelAudioRecording;
    QLabel* PanelDemoRecording;
    QLabel* PanelPleaseWait;
    QLabel* LabelUploadBacklog; // what is still to go up, while the panel above shows
    QPushButton* ButtonStopFilming;
    QPushButton* ButtonMusicMixer;
    QTimer* TimerRecording;
    QTimer* TimerNoDemoSections;
};

// One filming run: the capture, the encoder thread and the upload thread, the
// answers to the upload thread's notifications, the two filming timers and
// "Stop Recording". Built when the user starts filming and ended as a whole
// by Stop. Lives on the main thread; the window owns it and keeps the
// documented handler names, which delegate here.
class TFilmController {
public:
    TFilmController(SyncContext& sync, TFilmingControls controls);
    ~TFilmController();

    TFilmController(const TFilmController&) = delete;
    TFilmController& operator=(const TFilmController&) = delete;

    // Starts capture, encoder and upload; shows the "Connecting" page first.
    void StartFilming(const TFilmSettings& settings);

    void OnBytesSent(std::int32_t bytes);
    void OnAudioCut(std::int32_t section);
    void TimerRecordingTimer();
    void TimerNoDemoSectionsTimer();
    void ButtonStopFilmingClick();

    // Ends the run: the filming controls hidden, the timers stopped, then the
    // capture, the upload thread and the encoder thread. Safe to call again,
    // also from the events that run while it waits.
    void Stop();

    std::int32_t CaptureSection() const { return FCaptureSection; }
    void SetCaptureSection(std::int32_t section);

    TAudioCapture* AudioCapture() const { return FAudioCapture.get(); }
    TFilmerThread* FilmerThread() const { return FFilmerThread.get(); }
    TEncodingThread* EncodingThread() const { return FEncodingThread.get(); }

    // The capture device; a null device means the system's default input.
    QAudioDevice CaptureDevice;
    // The upload thread's pass, which is also its throttle's second (Rate
    // bytes per pass); tests shorten it so that a run is uploaded sooner.
    std::chrono::milliseconds UploadPassInterval{1000};

    // The window's side: status lines, page changes, the music mixer.
    std::function<void(const std::string&)> OnStatus;
    std::function<void(const TEnding&)> ShowEnding;
    std::function<void()> ShowConnectingPage;
    std::function<void()> ShowFilmingPage;
    // Hides and stops the music mixer, when there is one: at "Stop Recording"
    // and when the capture goes.
    std::function<void()> StopMusic;
    // Mixes music into every captured packet in place; given to each new capture.
    std::function<void(std::uint8_t* data, int size)> MixMusic;

private:
    void CreateCapture(const TFilmSettings& settings);
    void StartEncoder(const TFilmSettings& settings);
    void StartFilmer(const TFilmSettings& settings);
    void Blink();
    void ShowUploadBacklog();
    void HideControls();
    void StopCapture();
    void StopFilmer();
    void StopEncoder();

    SyncContext& Sync;
    const TFilmingControls Controls;
    std::int32_t FCaptureSection = -1;
    std::unique_ptr<TAudioCapture> FAudioCapture;
    std::unique_ptr<TFilmerThread> FFilmerThread;
    std::unique_ptr<TEncodingThread> FEncodingThread;
    bool Stopping = false;
};
