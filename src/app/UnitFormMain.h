#pragma once

#include "app/CommandLine.h"
#include "app/QtSyncContext.h"
#include "app/UnitSettingsStore.h"
#include "app/WizardMode.h"

#include <QAction>
#include <QAudioDevice>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <memory>
#include <optional>

class TFilmController;
class TViewingRun;
class TViewingPages;
class TFormMusicMixer;
struct TRecordingFormat;
class TFormAbout;
class TFormFolderSelect;
class TPageLocateTribes2;
class TPageInto;
class TPageAuthView;
class TPageViewOptions;
class TPageSectionPick;
class TPageFilmOptions;
class TPageConnecting;
class TPageFilming;
class TPageViewing;
class TPageOfflineViewing;

// The pages of NotebookMain, by index.
enum PageIndex : int {
    PageLocateTribes2 = 0,
    PageInto,
    PageAuthView,
    PageViewOptions,
    PageSectionPick,
    PageFilmOptions,
    PageConnecting,
    PageFilming,
    PageViewing,
    PageOfflineViewing,
    PageCount
};

// The wizard window: walks the user through the pages of the chosen mode and
// holds at most one filming run and one viewing run, which do the work. A
// run is moved out of its field before it is stopped, and Next and Back wait
// until the stop is over.
class TFormMain : public QWidget {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    int CurrentPage() const;
    void ShowPage(int index);
    WizardMode SelectedMode() const;
    void SelectMode(WizardMode mode);
    // Stops both runs and forgets the link being followed.
    void StopAll();

    // Brings both actions' enabled state up to date (done whenever the
    // application goes idle).
    void UpdateActions();
    // Runs an action as a click would: only when its enabling rule allows.
    void ExecuteAction(QAction* action);

    // A status line: brings the "Connecting" page to the front and logs it.
    void OnStatus(const QString& message);
    // The casts on the server: the "View Options" page, or the one a link names.
    void OnGameList(const QStringList& games);

    // The documented handlers; the runs do the work.
    void SectionComplete(int section, int tag);
    void StreamsEndedHandler();
    void StartPlayback(int section);
    void TimerSyncTimer();
    void TimerRecordingTimer();
    void TimerNoDemoSectionsTimer();
    void ButtonStopFilmingClick();

    // The dialogs live for the whole program; its entry hands them in.
    void SetDialogs(TFormAbout* about, TFormFolderSelect* folderSelect);
    // Where the music mixer plays the music locally (before the first show);
    // a null device means the default output.
    void SetMusicMonitorDevice(const QAudioDevice& device) { MusicMonitorDevice = device; }
    // Where filming captures the commentary; a null device means the default input.
    void SetCaptureDevice(const QAudioDevice& device) { CaptureDevice = device; }
    // The filming upload's pass (and throttle second), for runs started later.
    void SetUploadPassInterval(std::chrono::milliseconds interval) { UploadPassInterval = interval; }

    SettingsStore& Settings() const { return *FSettings; }
    const QString& GameDirectory() const { return FGameDirectory; }
    const QString& StreamsDirectory() const { return FStreamsDirectory; }
    const TPendingRequest& PendingRequest() const { return Pending; }
    // A link or archive handed over by a client started later: refused while
    // filming (the reason is returned and shown in the console), otherwise
    // followed as the command line's would be.
    std::optional<QString> TakeHandedRequest(const TPendingRequest& request);
    void SetPendingRequest(TPendingRequest request) { Pending = std::move(request); }
    TFilmController* FilmRun() const { return FFilmRun.get(); }
    TViewingRun* ViewRun() const { return FViewRun.get(); }
    TFormMusicMixer* MusicMixer() const { return FMusicMixer.get(); }

    QAction* ActionExit;
    QAction* ActionNext;
    QAction* ActionBack;
    QAction* ActionAbout;
    QAction* ActionSelectT2;
    QAction* ActionSelectRecordings;
    QPushButton* ButtonAbout;
    QPushButton* ButtonBack;
    QPushButton* ButtonNext;
    QPushButton* ButtonExit;
    QStackedWidget* NotebookMain;
    QTimer* TimerSync;
    QTimer* TimerRecording;
    QTimer* TimerNoDemoSections;

    TPageLocateTribes2* Locate;
    TPageInto* Into;
    TPageAuthView* AuthView;
    TPageViewOptions* ViewOptions;
    TPageSectionPick* SectionPick;
    TPageFilmOptions* FilmOptions;
    TPageConnecting* Connecting;
    TPageFilming* Filming;
    TPageViewing* Viewing;
    TPageOfflineViewing* OfflineViewing;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildActions();
    void BuildLayout();
    void ConnectHandlers();
    void EnterPage(int index);
    bool NextEnabled() const;
    bool BackEnabled() const;

    void ActionNextExecute();
    void ActionBackExecute();
    void ActionSelectRecordingsExecute();
    void AcceptGameExecutable();
    void NextFromInto();
    void NextFromAuthView();
    void NextFromViewOptions();
    void NextFromSectionPick();
    void NextFromFilmOptions();
    void OpenPending(); // WM_OPEN_PENDING
    void PostOpenPending();
    // Connects to the command line's host, when there is one.
    void FollowPendingLink();
    void FollowHandedRequest(const TPendingRequest& request);

    // Stops both runs; the command line's link is kept.
    void StopRuns();
    // A new run; what ran before has been stopped.
    void StartFilming();
    std::shared_ptr<TViewingRun> StartViewingRun();

    // The music mixer window (UnitFormMainMixer.cpp): made hidden at the first
    // show, freed when the window closes; the format the cast records in.
    void CreateMusicMixer();
    TRecordingFormat RecordingFormat() const;

    TFormAbout* FormAbout = nullptr;
    TFormFolderSelect* FormFolderSelect = nullptr;
    std::unique_ptr<SettingsStore> FSettings;
    // How worker threads reach this window's thread.
    QtSyncContext Sync;
    // Shared only with the steps of a run that serve events while they work
    // (an offline replay): a run stopped meanwhile is freed once they return.
    std::shared_ptr<TFilmController> FFilmRun;
    std::shared_ptr<TViewingRun> FViewRun;
    std::unique_ptr<TViewingPages> ViewingPages;
    std::unique_ptr<TFormMusicMixer> FMusicMixer;
    QAudioDevice MusicMonitorDevice;
    QAudioDevice CaptureDevice;
    std::chrono::milliseconds UploadPassInterval{1000};
    QString ClientVersion;
    QString AppDirectory;
    QString FStreamsDirectory;
    QString DefaultGameDirectory;
    QString FGameDirectory;
    TPendingRequest Pending;

    bool FirstShow = true;
    bool StoppingAll = false; // StopAll waits for threads while events run
    bool CloseAfterStop = false;
    QTimer* IdleTimer = nullptr;
};
