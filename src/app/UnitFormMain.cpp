#include "app/UnitFormMain.h"

#include "app/SideBar.h"
#include "app/UnitFormAbout.h"
#include "app/UnitFormFolderSelect.h"
#include "app/UnitGameInstall.h"
#include "app/UnitHostHistory.h"
#include "app/UnitMessageBoxes.h"
#include "app/UnitNELQGlobal.h"
#include "app/UnitSectionPick.h"
#include "app/pages/PageKit.h"
#include "app/pages/PagesFilmer.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesStatus.h"
#include "app/pages/PagesViewer.h"
#include "audio/UnitAudioQualityList.h"
#include "mixer/UnitFormMusicMixer.h"
#include "net/UnitViewerThread.h"
#include "platform/WineRegistry.h"
#include "playback/PlaybackSync.h"
#include "session/UnitFilmController.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QScopeGuard>
#include <QScreen>
#include <QVBoxLayout>

#include <clocale>
#include <stdexcept>

namespace {

constexpr int ClientWidth = 523;
constexpr int ClientHeight = 375;
constexpr int DefaultDataRate = 8000;
constexpr int DefaultSectionStep = 4;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Numbers are always written and read with a point, whatever the user's locale.
void UsePointAsDecimalSeparator() {
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_NUMERIC, "C");
}

// Disconnects first, so that a blocking read returns, then ends the thread and
// waits for it while serving its calls, then frees it.
// Taken out of its field first: what runs while it stops can neither reach it
// nor start a new run on it.
template <typename ConnectionThread>
void StopConnection(std::unique_ptr<ConnectionThread>& field) {
    const std::unique_ptr<ConnectionThread> thread = std::move(field);
    if (thread)
        thread->Stop();
}

} // namespace

TFormMain::TFormMain(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("NELQ Client"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);
    QFont compact = font();
    compact.setPointSizeF(8);
    setFont(compact);

    BuildActions();
    BuildLayout();
    ConnectAssembly();
    Film = std::make_unique<TFilmController>(
        Sync, TFilmingControls{Filming->LabelTransferedTo, Filming->PanelAudioRecording,
                               Filming->PanelDemoRecording, Filming->PanelPleaseWait,
                               Filming->ButtonStopFilming, Filming->ButtonMusicMixer,
                               TimerRecording, TimerNoDemoSections});
    ConnectHandlers();

    SelectMode(WizardMode::Film);
    UsePointAsDecimalSeparator();
    ParseCommandLine();
    RegisterLinkProtocol();
    Settings = std::make_unique<SettingsStore>();
    ClientVersion = Q(::ClientVersion());
    AppDirectory = Q(ComputeAppDirectory());
    StreamsDirectory = Q(PrepareStreamsDirectory(AppDirectory.toStdString()));
    const GameDirectories game = LocateGameDirectory(
        Settings->ReadString(SettingsSection, QStringLiteral("PatchedTribes2Directory"), QString())
            .toStdString());
    DefaultGameDirectory = Q(game.DefaultGameDirectory);
    GameDirectory = Q(game.GameDirectory);

    const bool ready =
        IsValidGameExecutable((GameDirectory + PlaybackExecutableName).toStdString());
    ShowPage(ready ? PageInto : PageLocateTribes2);

    if (!LinkHost.isEmpty()) {
        Into->ComboBoxViewHost->setEditText(LinkHost);
        SelectMode(WizardMode::ViewServer);
        ExecuteAction(ActionNext);
    }

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
        action("ActionBack", QStringLiteral("Back"), QStringLiteral("Go back to previous page"));
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
    guarded(ActionSelectT2, &TFormMain::ActionSelectT2Execute);
    guarded(ActionSelectRecordings, &TFormMain::ActionSelectRecordingsExecute);
    connect(ActionExit, &QAction::triggered, this, &QWidget::close);
    connect(ActionAbout, &QAction::triggered, this, [this] {
        if (FormAbout)
            FormAbout->exec();
    });

    connect(Into, &TPageInto::ViewHostEntered, this,
            [this] { SelectMode(WizardMode::ViewServer); });
    ConnectOfflineList();
    connect(Into, &TPageInto::OfflineListEntered, this,
            [this] { SelectMode(WizardMode::ViewOffline); });
    connect(Into, &TPageInto::FilmHostEntered, this, [this] { SelectMode(WizardMode::Film); });
    connect(SectionPick->ListViewSections, &QTreeWidget::itemSelectionChanged, this,
            &TFormMain::ListViewSectionsSelectItem);
    connect(Filming->ButtonStopFilming, &QPushButton::clicked, this,
            [this] { RunGuarded(this, [this] { ButtonStopFilmingClick(); }); });
    connect(TimerSync, &QTimer::timeout, this, &TFormMain::TimerSyncTimer);
    connect(TimerRecording, &QTimer::timeout, this,
            [this] { RunGuarded(this, [this] { TimerRecordingTimer(); }); });
    connect(TimerNoDemoSections, &QTimer::timeout, this,
            [this] { RunGuarded(this, [this] { TimerNoDemoSectionsTimer(); }); });
    Film->OnStatus = [this](const std::string& text) { OnStatus(Q(text)); };
    Film->ShowConnectingPage = [this] { ShowPage(PageConnecting); };
    Film->ShowFilmingPage = [this] {
        if (CurrentPage() != PageFilming)
            ShowPage(PageFilming);
    };

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
    if (Into->RadioButtonViewGame->isChecked())
        return WizardMode::ViewServer;
    if (Into->RadioButtonViewOffline->isChecked())
        return WizardMode::ViewOffline;
    return WizardMode::Film;
}

void TFormMain::SelectMode(WizardMode mode) {
    switch (mode) {
    case WizardMode::ViewServer:
        Into->RadioButtonViewGame->setChecked(true);
        break;
    case WizardMode::ViewOffline:
        Into->RadioButtonViewOffline->setChecked(true);
        break;
    case WizardMode::Film:
        Into->RadioButtonFilmGame->setChecked(true);
        break;
    }
}

void TFormMain::ShowPage(int index) {
    NotebookMain->setCurrentIndex(index);
    EnterPage(index);
    UpdateActions();
}

void TFormMain::EnterPage(int index) {
    switch (index) {
    case PageLocateTribes2:
        Locate->EditTribes2Path->setText(
            GameDirectory +
            Q(FindNameIgnoringCase(GameDirectory.toStdString(), GameExecutableName)));
        Locate->LabelT2Version->setText(RequiredGameBuild);
        break;
    case PageInto:
        Into->ComboBoxViewHost->setEditText(
            Settings->ReadString(SettingsSection, QStringLiteral("ViewHost"), {}));
        Into->ComboBoxFilmHost->setEditText(
            Settings->ReadString(SettingsSection, QStringLiteral("FilmHost"), {}));
        FilmOptions->EditDemoPathName->setText(
            Settings->ReadString(SettingsSection, QStringLiteral("PatchedDemoPathName"),
                                 GameDirectory + QStringLiteral("base/recordings/")));
        LoadHostHistory(*Into->ComboBoxViewHost, *Settings);
        LoadHostHistory(*Into->ComboBoxFilmHost, *Settings);
        FillOfflineList();
        break;
    case PageAuthView:
        AuthView->EditViewerUsername->setText(
            Settings->ReadString(SettingsSection, QStringLiteral("ViewerUsername"), {}));
        AuthView->EditViewerPassword->setText(
            Settings->ReadString(SettingsSection, QStringLiteral("ViewerPassword"), {}));
        break;
    case PageViewOptions:
        ViewOptions->ComboBoxGames->setFocus();
        ViewOptions->CheckBoxAudioOnly->setChecked(
            Settings->ReadBool(SettingsSection, QStringLiteral("AudioOnly"), false));
        break;
    case PageSectionPick:
        PrepareSectionPick();
        break;
    case PageFilmOptions:
        FilmOptions->EditPassword->setFocus();
        SelectFilmOptions();
        break;
    case PageConnecting:
        Connecting->MemoConsole->clear();
        break;
    default:
        break;
    }
}

void TFormMain::SelectFilmOptions() {
    FillAudioQualityList(*FilmOptions->ComboBoxAudioRate,
                         Settings->ReadInteger(SettingsSection, QStringLiteral("AudioIndex"), 0));
    PageKit::SelectItemOrDefault(
        *FilmOptions->ComboBoxRecordingType,
        Settings->ReadInteger(SettingsSection, QStringLiteral("RecordingType"), 0), 0);

    const int rate =
        Settings->ReadInteger(SettingsSection, QStringLiteral("DataRate"), DefaultDataRate);
    QComboBox* rates = FilmOptions->ComboBoxTransferRate;
    rates->setCurrentIndex(rates->findText(QString::number(rate)));
    if (rates->currentIndex() < 0)
        rates->setEditText(QString());

    // A step outside 1..6 would leave no start points at all; show the default instead.
    PageKit::SelectItemOrDefault(
        *FilmOptions->ComboBoxSectionStep,
        qint64{Settings->ReadInteger(SettingsSection, QStringLiteral("SectionStep"),
                                     DefaultSectionStep)} -
            1,
        DefaultSectionStep - 1);
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
        switch (SelectedMode()) {
        case WizardMode::ViewServer:
            return !Into->ComboBoxViewHost->currentText().isEmpty();
        case WizardMode::Film:
            return !Into->ComboBoxFilmHost->currentText().isEmpty();
        case WizardMode::ViewOffline:
            return !Into->ListViewOffline->selectedItems().isEmpty();
        }
        return false;
    case PageSectionPick:
        return SectionPick->SelectedIndex().has_value();
    case PageFilmOptions:
        return !FilmOptions->EditGameName->text().isEmpty();
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
    if (page == PageFilming && Film->CaptureSection() != -1 && !ConfirmAbortUpload())
        return;
    if (page >= PageAuthView && page <= PageViewing) {
        StopAll();
        ShowPage(PageInto);
    }
}

void TFormMain::AcceptGameExecutable() {
    const QString path = Locate->EditTribes2Path->text();
    GameDirectory = Q(ExtractFileDir(path.toStdString()));
    if (!IsValidGameExecutable(path.toStdString()))
        throw std::runtime_error("Unable to locate valid Tribes 2 executable");
    if (IsPlaybackExecutableName(QFileInfo(path).fileName().toStdString()))
        throw std::runtime_error("Please pick the original Tribes 2 executable.");
    CreatePlaybackExecutable(path.toStdString(), GameDirectory.toStdString());
    Settings->WriteString(SettingsSection, QStringLiteral("PatchedTribes2Directory"),
                          GameDirectory);
    ShowPage(PageInto);
    PostOpenPending();
}

void TFormMain::ActionSelectT2Execute() {
    const QString current = Locate->EditTribes2Path->text();
    QFileDialog dialog(this, QStringLiteral("Select Tribes2.exe File"), QFileInfo(current).path(),
                       QStringLiteral("Executables (*.exe);;All Files (*)"));
    dialog.setObjectName(QStringLiteral("OpenDialogTribes2"));
    dialog.setDefaultSuffix(QStringLiteral("exe"));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.selectFile(current);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        TakeGameExecutable(dialog.selectedFiles().first());
}

void TFormMain::TakeGameExecutable(const QString& chosen) {
    if (!QFileInfo(chosen).isFile()) {
        ShowErrorBox(this,
                     QStringLiteral("No file selected, the tribes2 executable must be selected"));
        return;
    }
    Locate->EditTribes2Path->setText(chosen);
}

void TFormMain::ActionSelectRecordingsExecute() {
    if (!FormFolderSelect)
        return;
    FormFolderSelect->SelectedFolder = FilmOptions->EditDemoPathName->text();
    if (FormFolderSelect->exec() != QDialog::Accepted)
        return;
    FilmOptions->EditDemoPathName->setText(FormFolderSelect->SelectedFolder);
    Settings->WriteString(SettingsSection, QStringLiteral("PatchedDemoPathName"),
                          FormFolderSelect->SelectedFolder);
}

void TFormMain::NextFromInto() {
    Settings->WriteString(SettingsSection, QStringLiteral("ViewHost"),
                          Into->ComboBoxViewHost->currentText());
    Settings->WriteString(SettingsSection, QStringLiteral("FilmHost"),
                          Into->ComboBoxFilmHost->currentText());
    switch (SelectedMode()) {
    case WizardMode::Film:
        ShowPage(PageFilmOptions);
        break;
    case WizardMode::ViewServer:
        StartViewing(Into->ComboBoxViewHost->currentText().trimmed());
        break;
    case WizardMode::ViewOffline: {
        const QList<QTreeWidgetItem*> selected = Into->ListViewOffline->selectedItems();
        if (selected.isEmpty())
            break;
        OpenOfflineCast(selected.first()->text(0));
        break;
    }
    }
    SaveHostHistory(*Into->ComboBoxViewHost, *Settings);
    SaveHostHistory(*Into->ComboBoxFilmHost, *Settings);
}

void TFormMain::NextFromAuthView() {
    const QString username = AuthView->EditViewerUsername->text();
    const QString password = AuthView->EditViewerPassword->text();
    Settings->WriteString(SettingsSection, QStringLiteral("ViewerUsername"), username);
    Settings->WriteString(SettingsSection, QStringLiteral("ViewerPassword"), password);
    if (!ViewerThread)
        return;
    ViewerThread->SetUsername(username.toStdString());
    ViewerThread->SetPassword(password.toStdString());
    ViewerThread->SetViewerState(vsLogin);
}

void TFormMain::NextFromSectionPick() {
    const std::optional<int> selected = SectionPick->SelectedIndex();
    if (!selected)
        return;
    QTreeWidget* list = SectionPick->ListViewSections;
    const int entry = SectionPick->RadioButtonPlayFromStart->isChecked() ? 0 : *selected;
    ViewFromSection(TPageSectionPick::SectionOf(list->topLevelItem(entry)));
}

// A rate that is not a positive whole number would never move a byte, so the
// page does not let it through.
int TFormMain::TransferRate() const {
    bool isNumber = false;
    const int rate = FilmOptions->ComboBoxTransferRate->currentText().trimmed().toInt(&isNumber);
    if (!isNumber || rate <= 0)
        throw std::runtime_error("The transfer rate must be a whole number of bytes per second "
                                 "greater than 0, such as 8000.");
    return rate;
}

void TFormMain::NextFromFilmOptions() {
    TransferRate(); // refused before anything is stored or started
    HideFilmingControls();

    Settings->WriteInteger(SettingsSection, QStringLiteral("AudioIndex"),
                           std::max(0, FilmOptions->ComboBoxAudioRate->currentIndex()));
    Settings->WriteInteger(SettingsSection, QStringLiteral("RecordingType"),
                           FilmOptions->ComboBoxRecordingType->currentIndex());
    Settings->WriteInteger(SettingsSection, QStringLiteral("DataRate"), TransferRate());
    Settings->WriteInteger(SettingsSection, QStringLiteral("SectionStep"),
                           FilmOptions->ComboBoxSectionStep->currentIndex() + 1);
    Film->SetCaptureSection(-1);
    StartFilming();
}

void TFormMain::PrepareSectionPick() {
    TPageSectionPick& page = *SectionPick;
    QFile lastPlayed(CastDirectory() + QStringLiteral("lastplayed.dat"));
    if (lastPlayed.exists()) {
        page.RadioButtonPickPlayFromLaterPoint->setChecked(true);
        lastPlayed.open(QIODevice::ReadOnly);
        std::vector<int> sections;
        for (int i = 0; i < page.ListViewSections->topLevelItemCount(); ++i)
            sections.push_back(TPageSectionPick::SectionOf(page.ListViewSections->topLevelItem(i)));
        if (!sections.empty()) {
            QTreeWidgetItem* item = page.ListViewSections->topLevelItem(
                PickLastPlayedIndex(sections, lastPlayed.readAll().toStdString()));
            page.ListViewSections->setCurrentItem(item);
            page.ListViewSections->scrollToItem(item);
        }
    } else {
        page.RadioButtonPlayFromStart->setChecked(true);
    }
    page.ApplyRadioButtonRule();
}

void TFormMain::ListViewSectionsSelectItem() {
    SectionPick->MemoDemoStart->clear();
    const std::optional<int> index = SectionPick->SelectedIndex();
    if (!index || *index >= SectionDescriptions.size())
        return;
    for (const std::string& line : DescribeSection(SectionDescriptions[*index].toStdString()))
        SectionPick->MemoDemoStart->appendPlainText(Q(line));
}

QString TFormMain::CastDirectory() const {
    return StreamsDirectory + CurrentGame + QLatin1Char('/');
}

void TFormMain::OnStatus(const QString& message) {
    if (CurrentPage() != PageConnecting)
        ShowPage(PageConnecting);
    Connecting->MemoConsole->appendPlainText(message);
}

void TFormMain::OnAuthRequired() {
    ShowPage(PageAuthView);
}

void TFormMain::SetPaused(bool paused) {
    Paused = paused;
    Viewing->PanelPaused->setVisible(paused);
}

bool TFormMain::ConfirmAbortUpload() {
    return AskYesNo(
        this,
        QStringLiteral("A stream has not yet completed. If you havnt stopped the\n"
                       "demo recording in Tribes 2 then do this now. You will also have to\n"
                       "wait until NELQ has uploaded the last section. Once NELQ has completed\n"
                       "it will indicate this by showing \"streams complete\"\n"
                       "\n"
                       "Do you wish to abort current upload? This will result in viewers\n"
                       "being cut off before correct stream end."));
}

void TFormMain::HideFilmingControls() {
    for (QWidget* w : std::initializer_list<QWidget*>{
             Filming->PanelAudioRecording, Filming->PanelDemoRecording, Filming->ButtonStopFilming,
             Filming->PanelPleaseWait, Filming->ButtonMusicMixer})
        w->hide();
    TimerRecording->stop();
}

void TFormMain::StopAll() {
    // Waiting for a thread runs events, so a second Back or close can arrive
    // meanwhile; the stop under way finishes the job for it.
    if (StoppingAll)
        return;
    StoppingAll = true;
    UpdateActions();
    const auto done = qScopeGuard([this] {
        StoppingAll = false;
        UpdateActions();
    });
    StopPlayback();
    RunningGames.EndAll();
    TimerNoDemoSections->stop();
    LinkHost.clear();
    LinkGame.clear();
    HideFilmingControls();
    Film->StopCapture();
    Film->StopFilmer();
    StopConnection(ViewerThread);
    // Only once the viewer thread has ended: a section it was still handing
    // over would otherwise reach a recording that is already finished.
    FinishAssembly();
    Film->StopEncoder();
}

void TFormMain::PostOpenPending() {
    QMetaObject::invokeMethod(this, &TFormMain::OpenPending, Qt::QueuedConnection);
}

void TFormMain::OpenPending() {
    if (PendingArchive.isEmpty())
        return;
    RunGuarded(this, [this] {
        const QString archive = PendingArchive;
        PendingArchive.clear();
        ExtractArchive(archive);
        StartOfflineViewing();
    });
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
    FocusFirstControl();
}

void TFormMain::FocusFirstControl() {
    if (CurrentPage() == PageInto) {
        Into->ComboBoxViewHost->setFocus();
        return;
    }
    QWidget* page = NotebookMain->currentWidget();
    for (QWidget* w = page->nextInFocusChain(); w != page && page->isAncestorOf(w);
         w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(page) && w->isEnabled()) {
            w->setFocus();
            return;
        }
}

void TFormMain::closeEvent(QCloseEvent* event) {
    if (Film->CaptureSection() != -1 && CurrentPage() == PageFilming && !ConfirmAbortUpload()) {
        event->ignore();
        return;
    }
    StopAll();
    FreeMusicMixer();
    event->accept();
}

void TFormMain::StartFilming() {
    TFilmSettings settings;
    settings.ClientVersion = ClientVersion.toStdString();
    settings.Host = Into->ComboBoxFilmHost->currentText().trimmed().toStdString();
    settings.FilmingPassword = FilmOptions->EditPassword->text().toStdString();
    settings.GameName = FilmOptions->EditGameName->text().toStdString();
    settings.RecordingsDirectory = FilmOptions->EditDemoPathName->text().toStdString();
    settings.WorkDirectory = AppDirectory.toStdString();
    settings.Rate = TransferRate();
    settings.SectionStep = FilmOptions->ComboBoxSectionStep->currentIndex() + 1;
    settings.RecordingType =
        Settings->ReadInteger(SettingsSection, QStringLiteral("RecordingType"), 0);
    settings.AudioIndex = Settings->ReadInteger(SettingsSection, QStringLiteral("AudioIndex"), 0);
    Film->StartFilming(settings);
}

void TFormMain::TimerRecordingTimer() {
    Film->TimerRecordingTimer();
}

void TFormMain::TimerNoDemoSectionsTimer() {
    Film->TimerNoDemoSectionsTimer();
}

void TFormMain::ButtonStopFilmingClick() {
    Film->ButtonStopFilmingClick();
}
