#include "app/UnitFormMain.h"

#include "app/ConfiguredGameStarter.h"
#include "app/LocalPath.h"
#include "app/SideBar.h"
#include "app/UnitLinkGame.h"
#include "app/UnitFormAbout.h"
#include "app/UnitFormFolderSelect.h"
#include "app/UnitGameInstall.h"
#include "app/UnitMessageBoxes.h"
#include "app/UnitNELQGlobal.h"
#include "app/pages/PageKit.h"
#include "app/pages/PagesFilmer.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesStatus.h"
#include "app/ViewingPages.h"
#include "app/WindowFit.h"
#include "app/pages/PagesViewer.h"
#include "mixer/UnitFormMusicMixer.h"
#include "net/UnitViewerThread.h"
#include "session/UnitFilmController.h"
#include "session/ViewingRun.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLocale>
#include <QScopeGuard>
#include <QScreen>
#include <QVBoxLayout>

#include <clocale>
#include <stdexcept>

namespace {

constexpr int ClientWidth = 523;
constexpr int ClientHeight = 375;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Numbers are always written and read with a point, whatever the user's locale.
void UsePointAsDecimalSeparator() {
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_NUMERIC, "C");
}

// Taken out of its field first: what runs while it stops can neither reach it
// nor start a new run on it.
template <typename Run>
void StopRun(std::shared_ptr<Run>& field) {
    if (const std::shared_ptr<Run> run = std::move(field))
        run->Stop();
}

} // namespace

TFormMain::TFormMain(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("NELQ Client"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    BuildActions();
    BuildLayout();
    setFixedSize(FittedWindowSize(*this, {ClientWidth, ClientHeight}));
    ViewingPages = std::make_unique<TViewingPages>(*this);
    ConnectHandlers();

    SelectMode(WizardMode::Film);
    UsePointAsDecimalSeparator();
    Pending = PendingRequestFromCommandLine();
    RegisterThisProgramForLinks();
    FSettings = std::make_unique<SettingsStore>();
    ClientVersion = Q(::ClientVersion());
    AppDirectory = Q(ComputeAppDirectory());
    FStreamsDirectory = Q(PrepareStreamsDirectory(AppDirectory.toStdString()));
    const GameDirectories game = LocateGameDirectory(
        FSettings->ReadString(SettingsSection, QStringLiteral("PatchedTribes2Directory"), QString())
            .toStdString());
    DefaultGameDirectory = Q(game.DefaultGameDirectory);
    FGameDirectory = Q(game.GameDirectory);

    const bool ready =
        IsValidGameExecutable((FGameDirectory + PlaybackExecutableName).toStdString());
    ShowPage(ready ? PageInto : PageLocateTribes2);

    FollowPendingLink();

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

// A window destroyed without being closed still ends its threads first: while
// they stop, events run, and those must find every member alive.
TFormMain::~TFormMain() {
    StopAll();
}

void TFormMain::BuildActions() {
    const auto action = [this](const char* name, const QString& caption, const QString& hint) {
        auto* a = new QAction(caption, this);
        a->setObjectName(QString::fromLatin1(name));
        a->setToolTip(hint);
        a->setStatusTip(hint);
        return a;
    };
    ActionExit =
        action("ActionExit", QStringLiteral("Exit"), QStringLiteral("Exit NELQ Client Software"));
    ActionNext =
        action("ActionNext", QStringLiteral("Next"), QStringLiteral("Proceed to next page"));
    ActionBack =
        action("ActionBack", QStringLiteral("Back"), QStringLiteral("Go back to the start page"));
    ActionAbout = action("ActionAbout", QStringLiteral("About"),
                         QStringLiteral("Software Version and Author Details"));
    ActionSelectT2 = action("ActionSelectT2", QStringLiteral("Browse"),
                            QStringLiteral("Locate the Tribes2.Exe file"));
    ActionSelectRecordings = action("ActionSelectRecordings", QStringLiteral("Browse"),
                                    QStringLiteral("Select the path to the recordings directory"));

    const auto timer = [this](const char* name, int interval) {
        auto* t = new QTimer(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setInterval(interval);
        return t;
    };
    TimerSync = timer("TimerSync", 500);
    TimerRecording = timer("TimerRecording", 2000);
    TimerNoDemoSections = timer("TimerNoDemoSections", 30000);
}

void TFormMain::BuildLayout() {
    NotebookMain = new QStackedWidget(this);
    NotebookMain->setObjectName(QStringLiteral("NotebookMain"));
    Locate = new TPageLocateTribes2(ActionSelectT2, NotebookMain);
    Into = new TPageInto(NotebookMain);
    AuthView = new TPageAuthView(NotebookMain);
    ViewOptions = new TPageViewOptions(NotebookMain);
    SectionPick = new TPageSectionPick(NotebookMain);
    FilmOptions = new TPageFilmOptions(ActionSelectRecordings, NotebookMain);
    Connecting = new TPageConnecting(NotebookMain);
    Filming = new TPageFilming(NotebookMain);
    Viewing = new TPageViewing(NotebookMain);
    OfflineViewing = new TPageOfflineViewing(NotebookMain);
    for (QWidget* page :
         std::initializer_list<QWidget*>{Locate, Into, AuthView, ViewOptions, SectionPick,
                                         FilmOptions, Connecting, Filming, Viewing, OfflineViewing})
        NotebookMain->addWidget(page);

    const auto button = [this](const char* name, QAction* action) {
        auto* b = new QPushButton(this);
        b->setObjectName(QString::fromLatin1(name));
        PageKit::BindButtonToAction(b, action);
        return b;
    };
    ButtonAbout = button("ButtonAbout", ActionAbout);
    ButtonBack = button("ButtonBack", ActionBack);
    ButtonNext = button("ButtonNext", ActionNext);
    ButtonExit = button("ButtonExit", ActionExit);

    auto* side = new SideBar(this);
    side->AddLink(QStringLiteral("NELQ web site"), QStringLiteral("https://nelq.example.org/"));
    side->AddLink(QStringLiteral("Contact us"), QStringLiteral("mailto:contact@nelq.example.org"));

    auto* top = new QHBoxLayout;
    top->setSpacing(0);
    top->addWidget(side, 0, Qt::AlignTop);
    top->addWidget(NotebookMain, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonAbout);
    buttons->addStretch();
    buttons->addWidget(ButtonBack);
    buttons->addWidget(ButtonNext);
    buttons->addSpacing(12);
    buttons->addWidget(ButtonExit);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
}

void TFormMain::ConnectHandlers() {
    const auto guarded = [this](QAction* action, void (TFormMain::*handler)()) {
        connect(action, &QAction::triggered, this,
                [this, handler] { RunGuarded(this, [&] { (this->*handler)(); }); });
    };
    guarded(ActionNext, &TFormMain::ActionNextExecute);
    guarded(ActionBack, &TFormMain::ActionBackExecute);
    connect(ActionSelectT2, &QAction::triggered, this,
            [this] { RunGuarded(this, [this] { Locate->ActionSelectT2Execute(); }); });
    guarded(ActionSelectRecordings, &TFormMain::ActionSelectRecordingsExecute);
    connect(ActionExit, &QAction::triggered, this, &QWidget::close);
    connect(ActionAbout, &QAction::triggered, this, [this] {
        if (FormAbout)
            FormAbout->exec();
    });

    connect(Into, &TPageInto::ViewHostEntered, this,
            [this] { SelectMode(WizardMode::ViewServer); });
    connect(Into, &TPageInto::OfflineListEntered, this,
            [this] { SelectMode(WizardMode::ViewOffline); });
    connect(Into, &TPageInto::FilmHostEntered, this, [this] { SelectMode(WizardMode::Film); });
    connect(Filming->ButtonStopFilming, &QPushButton::clicked, this,
            [this] { RunGuarded(this, [this] { ButtonStopFilmingClick(); }); });
    connect(TimerSync, &QTimer::timeout, this, &TFormMain::TimerSyncTimer);
    connect(TimerRecording, &QTimer::timeout, this,
            [this] { RunGuarded(this, [this] { TimerRecordingTimer(); }); });
    connect(TimerNoDemoSections, &QTimer::timeout, this,
            [this] { RunGuarded(this, [this] { TimerNoDemoSectionsTimer(); }); });

    // The enabling rules are evaluated when the application goes idle, as
    // after every event; a zero-time timer coalesces the bursts.
    auto* idle = new QTimer(this);
    idle->setSingleShot(true);
    idle->setInterval(0);
    connect(idle, &QTimer::timeout, this, &TFormMain::UpdateActions);
    IdleTimer = idle;
    qApp->installEventFilter(this);
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched != IdleTimer && event->type() != QEvent::Paint && !IdleTimer->isActive())
        IdleTimer->start();
    return QWidget::eventFilter(watched, event);
}

int TFormMain::CurrentPage() const {
    return NotebookMain->currentIndex();
}

WizardMode TFormMain::SelectedMode() const {
    return Into->Mode();
}

void TFormMain::SelectMode(WizardMode mode) {
    Into->SetMode(mode);
}

void TFormMain::ShowPage(int index) {
    NotebookMain->setCurrentIndex(index);
    EnterPage(index);
    UpdateActions();
}

void TFormMain::EnterPage(int index) {
    const SettingsStore& settings = *FSettings;
    switch (index) {
    case PageLocateTribes2:
        Locate->ShowGameDirectory(FGameDirectory);
        break;
    case PageInto:
        Into->LoadChoices(settings, FStreamsDirectory);
        FilmOptions->EditDemoPathName->setText(
            settings.ReadString(SettingsSection, QStringLiteral("PatchedDemoPathName"),
                                FGameDirectory + QStringLiteral("base/recordings/")));
        break;
    case PageAuthView:
        AuthView->LoadLogin(settings);
        break;
    case PageViewOptions:
        ViewOptions->ComboBoxGames->setFocus();
        ViewOptions->LoadAudioOnly(settings);
        break;
    case PageSectionPick:
        SectionPick->PrepareSectionPick(FViewRun ? QFile::decodeName(QByteArray::fromStdString(
                                                       FViewRun->CastDirectory()))
                                                 : QString());
        break;
    case PageFilmOptions:
        FilmOptions->EditPassword->setFocus();
        FilmOptions->LoadChoices(settings);
        break;
    case PageConnecting:
        Connecting->Clear();
        break;
    default:
        break;
    }
}

bool TFormMain::NextEnabled() const {
    // A run being stopped serves events while it waits: nothing may start meanwhile.
    if (StoppingAll)
        return false;
    switch (CurrentPage()) {
    case PageLocateTribes2:
    case PageAuthView:
    case PageViewOptions:
        return true;
    case PageInto:
        return Into->ReadyForNext();
    case PageSectionPick:
        return SectionPick->SelectedIndex().has_value();
    case PageFilmOptions:
        return FilmOptions->ReadyForNext();
    default:
        return false;
    }
}

bool TFormMain::BackEnabled() const {
    const int page = CurrentPage();
    return !StoppingAll && page >= PageAuthView && page <= PageViewing;
}

void TFormMain::UpdateActions() {
    ActionNext->setEnabled(NextEnabled());
    ActionBack->setEnabled(BackEnabled());
}

void TFormMain::ExecuteAction(QAction* action) {
    UpdateActions();
    if (action->isEnabled())
        action->trigger();
}

void TFormMain::ActionNextExecute() {
    switch (CurrentPage()) {
    case PageLocateTribes2:
        AcceptGameExecutable();
        break;
    case PageInto:
        NextFromInto();
        break;
    case PageAuthView:
        NextFromAuthView();
        break;
    case PageViewOptions:
        NextFromViewOptions();
        break;
    case PageSectionPick:
        NextFromSectionPick();
        break;
    case PageFilmOptions:
        NextFromFilmOptions();
        break;
    default:
        break;
    }
}

void TFormMain::ActionBackExecute() {
    const int page = CurrentPage();
    if (page == PageFilming && FFilmRun && FFilmRun->CaptureSection() != -1 &&
        !AskAbortUpload(this))
        return;
    if (FViewRun && FViewRun->Playing() && !AskStopWatching(this))
        return;
    if (page >= PageAuthView && page <= PageViewing) {
        StopAll();
        ShowPage(PageInto);
    }
}

void TFormMain::AcceptGameExecutable() {
    const QString path = Locate->EditTribes2Path->text();
    FGameDirectory = Q(ExtractFileDir(path.toStdString()));
    if (!IsValidGameExecutable(path.toStdString()))
        throw std::runtime_error("Unable to locate valid Tribes 2 executable");
    if (IsPlaybackExecutableName(QFileInfo(path).fileName().toStdString()))
        throw std::runtime_error("Please pick the original Tribes 2 executable.");
    CreatePlaybackExecutable(path.toStdString(), FGameDirectory.toStdString());
    FSettings->WriteString(SettingsSection, QStringLiteral("PatchedTribes2Directory"),
                           FGameDirectory);
    ShowPage(PageInto);
    PostOpenPending();
}

void TFormMain::ActionSelectRecordingsExecute() {
    if (!FormFolderSelect)
        return;
    FormFolderSelect->SelectedFolder = FilmOptions->EditDemoPathName->text();
    if (FormFolderSelect->exec() != QDialog::Accepted)
        return;
    FilmOptions->EditDemoPathName->setText(FormFolderSelect->SelectedFolder);
    FSettings->WriteString(SettingsSection, QStringLiteral("PatchedDemoPathName"),
                           FormFolderSelect->SelectedFolder);
}

void TFormMain::NextFromInto() {
    Into->StoreChoices(*FSettings);
    const bool audioOnly = FSettings->ReadBool(SettingsSection, QStringLiteral("AudioOnly"), false);
    switch (SelectedMode()) {
    case WizardMode::Film:
        ShowPage(PageFilmOptions);
        break;
    case WizardMode::ViewServer: {
        const int readTimeout = FSettings->ReadInteger(
            SettingsSection, QStringLiteral("ReadTimeout"),
            static_cast<int>(TViewerThread::DefaultReadTimeout.count()));
        StartViewingRun()->Connect(Into->ComboBoxViewHost->currentText().trimmed().toStdString(),
                                  std::chrono::seconds(std::max(readTimeout, 0)));
        break;
    }
    case WizardMode::ViewOffline: {
        const QList<QTreeWidgetItem*> selected = Into->ListViewOffline->selectedItems();
        if (selected.isEmpty())
            break;
        // The run is kept alive while it replays: a stop meanwhile frees it afterwards.
        StartViewingRun()->OpenOffline(LocalPath(selected.first()->text(0)), audioOnly);
        break;
    }
    }
}

void TFormMain::NextFromAuthView() {
    AuthView->StoreLogin(*FSettings);
    if (FViewRun)
        FViewRun->LogIn(AuthView->EditViewerUsername->text().toStdString(),
                        AuthView->EditViewerPassword->text().toStdString());
}

void TFormMain::NextFromViewOptions() {
    const QString game = ViewOptions->ComboBoxGames->currentText();
    if (!FViewRun || game.isEmpty())
        return;
    ViewOptions->StoreViewOptions(FGameDirectory, *FSettings);
    Viewing->Reset();
    FViewRun->ChooseGame(game.toStdString(), ViewOptions->CheckBoxAudioOnly->isChecked());
}

void TFormMain::NextFromSectionPick() {
    const std::optional<int> selected = SectionPick->SelectedIndex();
    if (!selected || !FViewRun)
        return;
    const int entry = SectionPick->RadioButtonPlayFromStart->isChecked() ? 0 : *selected;
    FViewRun->ViewFromSection(
        TPageSectionPick::SectionOf(SectionPick->ListViewSections->topLevelItem(entry)));
}

void TFormMain::NextFromFilmOptions() {
    FilmOptions->StoreChoices(*FSettings); // a bad rate is refused before anything starts
    StartFilming();
}

void TFormMain::StartFilming() {
    StopRuns();
    FFilmRun = std::make_shared<TFilmController>(
        Sync, TFilmingControls{Filming->LabelTransferedTo, Filming->PanelAudioRecording,
                               Filming->PanelDemoRecording, Filming->PanelPleaseWait,
                               Filming->LabelUploadBacklog, Filming->ButtonStopFilming, Filming->ButtonMusicMixer,
                               TimerRecording, TimerNoDemoSections});
    TFilmController& run = *FFilmRun;
    run.CaptureDevice = CaptureDevice;
    run.UploadPassInterval = UploadPassInterval;
    run.OnStatus = [this](const std::string& text) { OnStatus(Q(text)); };
    run.ShowEnding = [this](const TEnding& ending) { ViewingPages->ShowEnding(ending); };
    run.ShowConnectingPage = [this] { ShowPage(PageConnecting); };
    run.ShowFilmingPage = [this] {
        if (CurrentPage() != PageFilming)
            ShowPage(PageFilming);
    };
    // Looked up at every packet: the capture may outlive the mixer window.
    run.MixMusic = [this](uint8_t* data, int size) {
        if (FMusicMixer)
            FMusicMixer->MixMusic(data, size);
    };
    run.StopMusic = [this] {
        if (FMusicMixer)
            FMusicMixer->HideAndStop();
    };

    TFilmSettings settings = FilmOptions->FilmSettings();
    settings.ClientVersion = ClientVersion.toStdString();
    settings.Host = Into->ComboBoxFilmHost->currentText().trimmed().toStdString();
    settings.WorkDirectory = AppDirectory.toStdString();
    run.StartFilming(settings);
}

std::shared_ptr<TViewingRun> TFormMain::StartViewingRun() {
    // A link being followed keeps its game: only what ran before goes.
    StopRuns();
    const std::string gameDirectory = LocalPath(FGameDirectory);
    auto games = std::make_unique<ConfiguredGameStarter>(gameDirectory, *FSettings);
    FViewRun = std::make_shared<TViewingRun>(
        Sync, *ViewingPages, *TimerSync, std::move(games),
        TViewingSetup{ClientVersion.toStdString(), gameDirectory, LocalPath(FStreamsDirectory)});
    return FViewRun;
}

void TFormMain::OnStatus(const QString& message) {
    if (CurrentPage() != PageConnecting)
        ShowPage(PageConnecting);
    Connecting->MemoConsole->appendPlainText(message);
}

void TFormMain::OnGameList(const QStringList& games) {
    if (games.isEmpty()) {
        ShowPage(PageConnecting);
        Connecting->MemoConsole->appendPlainText(QStringLiteral("No active streams"));
        return;
    }
    ViewOptions->ReadClientPrefs(FGameDirectory);
    QComboBox* box = ViewOptions->ComboBoxGames;
    box->clear();
    box->addItems(games);
    ShowPage(PageViewOptions);
    if (SelectLinkGame(*box, Pending.LinkGame))
        ExecuteAction(ActionNext);
}

void TFormMain::SectionComplete(int section, int tag) {
    if (FViewRun)
        FViewRun->SectionComplete(section, tag);
}

void TFormMain::StreamsEndedHandler() {
    if (FViewRun)
        FViewRun->StreamsEndedHandler();
}

void TFormMain::StartPlayback(int section) {
    if (FViewRun)
        FViewRun->StartPlayback(section);
}

void TFormMain::TimerSyncTimer() {
    if (FViewRun)
        FViewRun->TimerSyncTimer();
}

void TFormMain::TimerRecordingTimer() {
    if (FFilmRun)
        FFilmRun->TimerRecordingTimer();
}

void TFormMain::TimerNoDemoSectionsTimer() {
    if (FFilmRun)
        FFilmRun->TimerNoDemoSectionsTimer();
}

void TFormMain::ButtonStopFilmingClick() {
    if (FFilmRun)
        FFilmRun->ButtonStopFilmingClick();
}

void TFormMain::StopAll() {
    Pending.LinkHost.clear();
    Pending.LinkGame.clear();
    StopRuns();
}

void TFormMain::StopRuns() {
    // Waiting for a thread runs events, so a second Back or close can arrive
    // meanwhile; the stop under way finishes the job for it.
    if (StoppingAll)
        return;
    StoppingAll = true;
    UpdateActions();
    const auto done = qScopeGuard([this] {
        StoppingAll = false;
        UpdateActions();
        if (std::exchange(CloseAfterStop, false))
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    });
    StopRun(FFilmRun);
    StopRun(FViewRun);
}

void TFormMain::PostOpenPending() {
    QMetaObject::invokeMethod(this, &TFormMain::OpenPending, Qt::QueuedConnection);
}

void TFormMain::OpenPending() {
    if (Pending.Archive.isEmpty())
        return;
    RunGuarded(this, [this] {
        const QString archive = std::exchange(Pending.Archive, QString());
        const bool audioOnly =
            FSettings->ReadBool(SettingsSection, QStringLiteral("AudioOnly"), false);
        StartViewingRun()->OpenArchive(LocalPath(archive), audioOnly);
    });
}

void TFormMain::FollowPendingLink() {
    if (Pending.LinkHost.isEmpty())
        return;
    Into->ComboBoxViewHost->setEditText(Pending.LinkHost);
    SelectMode(WizardMode::ViewServer);
    ExecuteAction(ActionNext);
}

std::optional<QString> TFormMain::TakeHandedRequest(const TPendingRequest& request) {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    if (FFilmRun) {
        const QString why = (request.Archive.isEmpty() ? QStringLiteral("A link")
                                                       : QStringLiteral("A cast archive")) +
                            QStringLiteral(" cannot be opened while filming; end filming first.");
        // Logged without leaving the filming page, whose controls the filmer needs.
        Connecting->MemoConsole->appendPlainText(why);
        return why;
    }
    // Answered first: the question below may wait for the user.
    QMetaObject::invokeMethod(this, [this, request] { FollowHandedRequest(request); },
                              Qt::QueuedConnection);
    return std::nullopt;
}

void TFormMain::FollowHandedRequest(const TPendingRequest& request) {
    if (FFilmRun || (FViewRun && !AskStopWatching(this)))
        return;
    StopAll();
    if (CurrentPage() != PageLocateTribes2)
        ShowPage(PageInto);
    Pending = request;
    FollowPendingLink();
    if (CurrentPage() == PageInto)
        PostOpenPending();
}

void TFormMain::SetDialogs(TFormAbout* about, TFormFolderSelect* folderSelect) {
    FormAbout = about;
    FormFolderSelect = folderSelect;
}

void TFormMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!FirstShow)
        return;
    FirstShow = false;
    CreateMusicMixer();
    SelectMode(WizardMode::Film);
    if (CurrentPage() == PageInto)
        PostOpenPending();
    if (CurrentPage() == PageInto)
        Into->ComboBoxViewHost->setFocus();
    else
        PageKit::FocusFirstControl(NotebookMain->currentWidget());
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // A close while a run stops waits for the stop, then closes.
    if (StoppingAll) {
        CloseAfterStop = true;
        event->ignore();
        return;
    }
    if (FFilmRun && FFilmRun->CaptureSection() != -1 && CurrentPage() == PageFilming &&
        !AskAbortUpload(this)) {
        event->ignore();
        return;
    }
    StopAll();
    FMusicMixer.reset();
    event->accept();
}
