#pragma once

#include "app/GameProcesses.h"
#include "app/QtSyncContext.h"
#include "app/UnitSettingsStore.h"
#include "playback/CastAssembler.h"

#include <QAction>
#include <QAudioDevice>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QStackedWidget>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

class TFilmController;
class TFormMusicMixer;
struct TRecordingFormat;
class TPlaybackSync;
class TAssembledCast;
class GameWindowFinder;
class TViewerThread;
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

enum class WizardMode : unsigned char { ViewServer = 0, Film = 1, ViewOffline = 2 };

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

// The wizard window: walks the user through the pages of the chosen mode,
// owns every long-lived object of a run and tears them down in StopAll.
class TFormMain : public QWidget {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    int CurrentPage() const;
    void ShowPage(int index);
    WizardMode SelectedMode() const;
    void SelectMode(WizardMode mode);
    void StopAll();
    bool ConfirmAbortUpload();
    void PrepareSectionPick();

    // Brings both actions' enabled state up to date (done whenever the
    // application goes idle).
    void UpdateActions();
    // Runs an action as a click would: only when its enabling rule allows.
    void ExecuteAction(QAction* action);

    // What Browse does with the file the user confirmed in the dialog.
    void TakeGameExecutable(const QString& chosen);

    // Thread status line: brings the "Connecting" page to the front and logs it.
    void OnStatus(const QString& message);
    // The server wants the viewer to log in.
    void OnAuthRequired();
    // The viewer thread's other reports.
    void OnGameList(const QStringList& games);
    void OnSectionList(const QStringList& sections);
    void OnProgress(int slot, int section, int type, int received, int length);
    // The cast's sections and its end go to the assembler
    // (UnitFormMainAssembly.cpp).
    void SectionComplete(int section, int tag);
    void StreamsEndedHandler();
    // Playback begins at a section: the cast audio opens and starts, and
    // TimerSync keeps the game in step (UnitFormMainPlayback.cpp).
    void StartPlayback(int section);
    // The "Viewing" page's label over the buffer's progress bar.
    QLabel* LabelBuffer() const;
    // Playback waits for data: the "PAUSED" panel shows while set.
    void SetPaused(bool paused);

    // Filming: the film controller does the work (its upload notifications go
    // to it directly).
    void TimerRecordingTimer();
    void TimerNoDemoSectionsTimer();
    void ButtonStopFilmingClick();
    // Writes the game scripts for PlaybackDemoNumber and starts the game
    // through the "GameLauncher" setting (UnitFormMainLaunch.cpp).
    void LaunchGame();
    // The "View Options" choices and the game's preference file
    // (UnitFormMainViewOptions.cpp): what Next on that page keeps, and the
    // choices read back from the file.
    void StoreViewOptions();
    void WriteClientPrefs();
    void ReadClientPrefs();
    // What "Export as archive…" does with the file the user confirmed: writes
    // the stored cast as that ".qmx" (UnitFormMainOffline.cpp).
    void ExportOfflineCast(const QString& cast, const QString& archivePath);
    // The music mixer window (UnitFormMainMixer.cpp): made hidden at the first
    // show, freed when the window closes; the format the cast records in.
    void CreateMusicMixer();
    void FreeMusicMixer();
    TRecordingFormat RecordingFormat() const;

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

    // The two dialogs live for the whole run; the program entry hands them in.
    TFormAbout* FormAbout = nullptr;
    TFormFolderSelect* FormFolderSelect = nullptr;

    std::unique_ptr<SettingsStore> Settings;
    // How worker threads reach this window's thread.
    QtSyncContext Sync;
    // The filming run (capture, encoder and upload) and the running viewing's
    // download (none otherwise).
    std::unique_ptr<TFilmController> Film;
    std::unique_ptr<TViewerThread> ViewerThread;
    std::unique_ptr<TFormMusicMixer> FormMusicMixer;
    // Where the mixer plays the music locally; a null device means the default output.
    QAudioDevice MusicMonitorDevice;
    QString ClientVersion;
    QString AppDirectory;
    QString StreamsDirectory;
    QString DefaultGameDirectory;
    QString GameDirectory;
    QString LinkHost, LinkGame, PendingArchive;
    QString CurrentGame;
    int StartSection = 0;
    bool Paused = false;
    // Rebuilds the viewed cast's recordings and keeps its clocks, time tables,
    // demo start list and last completed section.
    TCastAssembler Assembly;
    QStringList SectionDescriptions;
    // Bytes received and announced of the section's demo (0) and audio (1) stream.
    std::array<int, 2> ProgressReceived{};
    std::array<int, 2> ProgressLength{};
    int PlaybackDemoNumber = 0; // the rebuilt recording the next launch plays
    // The running playback: the cast audio and its synchronisation with the
    // game (UnitFormMainPlayback.cpp); none before it starts.
    std::unique_ptr<TPlaybackSync> PlaybackSync;
    // The games the viewing run has started; StopAll ends them.
    GameProcesses RunningGames;
    void TimerSyncTimer();

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
    void ActionSelectT2Execute();
    void ActionSelectRecordingsExecute();
    void AcceptGameExecutable();
    void NextFromInto();
    void NextFromAuthView();
    void NextFromViewOptions();
    void NextFromFilmOptions();
    int TransferRate() const;
    void HideFilmingControls();
    void NextFromSectionPick();
    void SelectFilmOptions();
    void ListViewSectionsSelectItem();
    // Offline viewing (UnitFormMainOffline.cpp): the list of stored casts and
    // archives, opening one of them, and its export action.
    void ConnectOfflineList();
    void FillOfflineList();
    void OpenOfflineCast(const QString& name);
    void ActionExportArchiveExecute();
    void OpenPending(); // WM_OPEN_PENDING
    void PostOpenPending();
    void FocusFirstControl();

    QString CastDirectory() const;

    // The command line and the "nelq" link handler (UnitFormMainLinks.cpp).
    void ParseCommandLine();
    void RegisterLinkProtocol();

    // Work that starts from here but is built elsewhere.
    void StartViewing(const QString& host);
    // A start point is settled: a fresh "completed.dat", the "Viewing" page, a
    // new assembly run and the request for the cast from that section.
    void ViewFromSection(int section);
    void ConnectAssembly();
    // Tear-down of the assembly: the rebuilt recording is finished, never
    // left half-written; a failure is shown, the tear-down goes on.
    void FinishAssembly();
    void ReportNothingToPlay(const QString& message);
    void StartFilming();
    void StartOfflineViewing();
    void ExtractArchive(const QString& path);
    void RequestCast();

    // Ends playback: no more ticks, the decoder closed and the wave output
    // freed; a second call does nothing.
    void StopPlayback();
    // A playback failure goes to the error box, each message once a run.
    void ShowPlaybackError(const QString& message);
    std::unique_ptr<GameWindowFinder> GameWindows;
    std::unique_ptr<TAssembledCast> PlaybackCast;
    QSet<QString> ShownPlaybackErrors;

    bool FirstShow = true;
    bool StoppingAll = false; // StopAll waits for threads while events run

    QTimer* IdleTimer = nullptr;
};
