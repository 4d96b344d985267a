#include "mixer/UnitFormMusicMixer.h"

#include "playback/QtWaveOutDevice.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
// The browser's list of drives: the file system's root here.
const QString Drives = QStringLiteral("Drives");

QString BrowserPath(const QString& setting) {
    if (setting == Drives || !QFileInfo(setting).isDir())
        return QDir::rootPath();
    return QDir(setting).absolutePath();
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QSlider* VolumeSlider(QWidget* parent, const char* name) {
    auto* slider = new QSlider(Qt::Vertical, parent);
    slider->setObjectName(QString::fromLatin1(name));
    slider->setRange(0, 100);
    slider->setSingleStep(10);
    slider->setPageStep(10);
    slider->setTickInterval(10);
    slider->setTickPosition(QSlider::TicksRight);
    return slider;
}
} // namespace

TFormMusicMixer::TFormMusicMixer(const QString& programDirectory, TMixerSettings settings,
                                 std::function<TRecordingFormat()> recordingFormat,
                                 const QAudioDevice& output)
    : Settings(std::move(settings)) {
    setObjectName(QStringLiteral("FormMusicMixer"));
    setWindowTitle(QStringLiteral("NELQ Music Mixer"));
    resize(420, 460);

    Mixer = std::make_unique<TMusicMixer>(
        programDirectory.toStdString(),
        [output] { return std::make_unique<TQtWaveOutDevice>(output); },
        [this](std::function<void()> task) {
            QMetaObject::invokeMethod(
                this, [this, task] { Run(task); }, Qt::QueuedConnection);
        },
        std::move(recordingFormat));

    TimerMonitorPlayback = new QTimer(this);
    TimerMonitorPlayback->setObjectName(QStringLiteral("TimerMonitorPlayback"));
    TimerMonitorPlayback->setInterval(50);

    auto* layout = new QVBoxLayout(this);
    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->addTab(BuildExplorerPage(), QStringLiteral("Explorer"));
    PageControl->addTab(BuildPlaylistPage(), QStringLiteral("Playlist"));
    layout->addWidget(PageControl, 1);
    layout->addWidget(BuildControls());
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    layout->addWidget(StatusBar);

    BindMixerView();
    ConnectHandlers();
    ShowPlaylist();
    PageControl->setCurrentIndex(0);
    OpenDirectory(BrowserPath(Settings.ReadString(QStringLiteral("MusicDirectory"), Drives)));
    SliderCastVolume->setValue(Settings.ReadInteger(QStringLiteral("CastVolume"), 100));
    SliderMusicVolume->setValue(Settings.ReadInteger(QStringLiteral("MusicVolume"), 20));
    // Both factors are set and both settings written back even when unchanged.
    SliderCastVolumeChange();
    SliderMusicVolumeChange();
    UpdateActions();
}

TFormMusicMixer::~TFormMusicMixer() = default;

QWidget* TFormMusicMixer::BuildExplorerPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(
        new QLabel(QStringLiteral("Double click MP3 file to add to the playlist"), page));

    DirectoryModel = new QFileSystemModel(this);
    DirectoryModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    DirectoryModel->setRootPath(QString());
    LsDirTreeCombo28 = new QTreeView(page);
    LsDirTreeCombo28->setObjectName(QStringLiteral("LsDirTreeCombo28"));
    LsDirTreeCombo28->setModel(DirectoryModel);
    LsDirTreeCombo28->setHeaderHidden(true);
    for (int column = 1; column < DirectoryModel->columnCount(); ++column)
        LsDirTreeCombo28->hideColumn(column);
    LsDirTreeCombo28->setMaximumHeight(110);
    layout->addWidget(LsDirTreeCombo28);

    FileModel = new QFileSystemModel(this);
    FileModel->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Drives);
    FileModel->setNameFilters({QStringLiteral("*.mp3")});
    FileModel->setNameFilterDisables(false);
    FileModel->setReadOnly(true);
    LsFilelistView28 = new QListView(page);
    LsFilelistView28->setObjectName(QStringLiteral("LsFilelistView28"));
    LsFilelistView28->setModel(FileModel);
    LsFilelistView28->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LsFilelistView28->setSelectionMode(QAbstractItemView::SingleSelection);
    LsFilelistView28->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(LsFilelistView28, 1);

    PopupMenuFiles = new QMenu(this);
    ActionPlayMP3 = PopupMenuFiles->addAction(QStringLiteral("Play MP3"));
    ActionPlayMP3->setObjectName(QStringLiteral("ActionPlayMP3"));
    ActionAddMP3 = PopupMenuFiles->addAction(QStringLiteral("Add MP3 to Playlist"));
    ActionAddMP3->setObjectName(QStringLiteral("ActionAddMP3"));
    return page;
}

QWidget* TFormMusicMixer::BuildPlaylistPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(
        new QLabel(QStringLiteral("Double click playlist item to start playing"), page));
    ListViewPlaylist = new QTreeWidget(page);
    ListViewPlaylist->setObjectName(QStringLiteral("ListViewPlaylist"));
    ListViewPlaylist->setHeaderLabels({QStringLiteral("Track")});
    ListViewPlaylist->setRootIsDecorated(false);
    ListViewPlaylist->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewPlaylist->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(ListViewPlaylist, 1);
    auto* buttons = new QHBoxLayout;
    ButtonMoveUp = Button(page, "ButtonMoveUp", QStringLiteral("Move Up"));
    ButtonMoveDown = Button(page, "ButtonMoveDown", QStringLiteral("Move Down"));
    ButtonRemove = Button(page, "ButtonRemove", QStringLiteral("Remove"));
    buttons->addWidget(ButtonMoveUp);
    buttons->addWidget(ButtonMoveDown);
    buttons->addWidget(ButtonRemove);
    buttons->addStretch();
    layout->addLayout(buttons);
    return page;
}

QWidget* TFormMusicMixer::BuildControls() {
    auto* controls = new QWidget(this);
    auto* layout = new QHBoxLayout(controls);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* playing = new QVBoxLayout;
    TrackBarPlayingTime = new QSlider(Qt::Horizontal, controls);
    TrackBarPlayingTime->setObjectName(QStringLiteral("TrackBarPlayingTime"));
    TrackBarPlayingTime->setRange(0, 0);
    playing->addWidget(TrackBarPlayingTime);
    auto* buttons = new QHBoxLayout;
    ButtonPlay = Button(controls, "ButtonPlay", QStringLiteral("Play"));
    ButtonStop = Button(controls, "ButtonStop", QStringLiteral("Stop"));
    ButtonPause = Button(controls, "ButtonPause", QStringLiteral("Pause"));
    buttons->addWidget(ButtonPlay);
    buttons->addWidget(ButtonStop);
    buttons->addWidget(ButtonPause);
    playing->addLayout(buttons);
    layout->addLayout(playing, 1);

    const auto volume = [&](QSlider*& slider, const char* name, const QString& caption) {
        auto* column = new QVBoxLayout;
        slider = VolumeSlider(controls, name);
        slider->setFixedHeight(70);
        column->addWidget(slider, 0, Qt::AlignHCenter);
        column->addWidget(new QLabel(caption, controls), 0, Qt::AlignHCenter);
        layout->addLayout(column);
    };
    volume(SliderCastVolume, "SliderCastVolume", QStringLiteral("Cast"));
    volume(SliderMusicVolume, "SliderMusicVolume", QStringLiteral("Music"));
    return controls;
}

void TFormMusicMixer::BindMixerView() {
    Mixer->View.SetStatusText = [this](const std::string& text) {
        StatusBar->showMessage(QString::fromStdString(text));
    };
    Mixer->View.PlaylistChanged = [this] { ShowPlaylist(); };
    Mixer->View.SelectPlaylistItem = [this](int index) { SelectPlaylistItem(index); };
    Mixer->View.PlayingTimeChanged = [this] { ShowPlayingTime(); };
    Mixer->View.SetMonitorTimer = [this](bool enabled) {
        if (enabled)
            TimerMonitorPlayback->start();
        else
            TimerMonitorPlayback->stop();
    };
}

void TFormMusicMixer::ConnectHandlers() {
    const auto on = [this](auto* sender, auto signal, void (TFormMusicMixer::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { Run([this, handler] { (this->*handler)(); }); });
    };
    on(ButtonPlay, &QPushButton::clicked, &TFormMusicMixer::ButtonPlayClick);
    on(ButtonStop, &QPushButton::clicked, &TFormMusicMixer::ButtonStopClick);
    on(ButtonPause, &QPushButton::clicked, &TFormMusicMixer::ButtonPauseClick);
    on(ButtonMoveUp, &QPushButton::clicked, &TFormMusicMixer::ButtonMoveUpClick);
    on(ButtonMoveDown, &QPushButton::clicked, &TFormMusicMixer::ButtonMoveDownClick);
    on(ButtonRemove, &QPushButton::clicked, &TFormMusicMixer::ButtonRemoveClick);
    on(ActionPlayMP3, &QAction::triggered, &TFormMusicMixer::ActionPlayMP3Execute);
    on(ActionAddMP3, &QAction::triggered, &TFormMusicMixer::ActionAddMP3Execute);
    on(ListViewPlaylist, &QTreeWidget::itemDoubleClicked,
       &TFormMusicMixer::ListViewPlaylistDblClick);
    on(LsFilelistView28, &QListView::doubleClicked, &TFormMusicMixer::LsFilelistView28DblClick);
    on(TrackBarPlayingTime, &QSlider::sliderPressed, &TFormMusicMixer::TrackBarPlayingTimePressed);
    on(TrackBarPlayingTime, &QSlider::sliderReleased,
       &TFormMusicMixer::TrackBarPlayingTimeReleased);
    on(SliderCastVolume, &QSlider::valueChanged, &TFormMusicMixer::SliderCastVolumeChange);
    on(SliderMusicVolume, &QSlider::valueChanged, &TFormMusicMixer::SliderMusicVolumeChange);
    on(TimerMonitorPlayback, &QTimer::timeout, &TFormMusicMixer::TimerMonitorPlaybackTimer);
    connect(TrackBarPlayingTime, &QSlider::sliderMoved, this,
            [this](int value) { Mixer->SetPlayingTime(value); });
    connect(LsDirTreeCombo28, &QTreeView::clicked, this,
            [this](const QModelIndex& index) { OpenDirectory(DirectoryModel->filePath(index)); });
    connect(LsFilelistView28, &QListView::customContextMenuRequested, this,
            [this](const QPoint& at) {
                UpdateActions();
                PopupMenuFiles->popup(LsFilelistView28->viewport()->mapToGlobal(at));
            });
    connect(LsFilelistView28->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { UpdateActions(); });
    connect(ListViewPlaylist, &QTreeWidget::itemSelectionChanged, this,
            [this] { UpdateActions(); });
}

void TFormMusicMixer::Run(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        StatusBar->showMessage(QString::fromUtf8(error.what()));
    }
    UpdateActions();
}

void TFormMusicMixer::UpdateActions() {
    const bool file = QFileInfo(SelectedFilePath()).isFile();
    ActionPlayMP3->setEnabled(file);
    ActionAddMP3->setEnabled(file);
    const bool selected = SelectedPlaylistIndex() >= 0;
    ButtonMoveUp->setEnabled(selected);
    ButtonMoveDown->setEnabled(selected);
    ButtonRemove->setEnabled(selected);
    ButtonPlay->setEnabled(Mixer->PlayEnabled());
    ButtonStop->setEnabled(Mixer->StopEnabled());
    ButtonPause->setEnabled(Mixer->StopEnabled());
}

void TFormMusicMixer::HideAndStop() {
    hide();
    Run([this] { ButtonStopClick(); });
}

void TFormMusicMixer::ButtonPlayClick() {
    Mixer->Play();
}

void TFormMusicMixer::ButtonStopClick() {
    Mixer->Stop();
}

void TFormMusicMixer::ButtonPauseClick() {
    Mixer->Pause();
}

void TFormMusicMixer::ActionPlayMP3Execute() {
    const QString path = SelectedFilePath();
    if (QFileInfo(path).isFile())
        Mixer->PlayFile(path.toStdString());
}

void TFormMusicMixer::ActionAddMP3Execute() {
    const QString path = SelectedFilePath();
    if (QFileInfo(path).isFile())
        Mixer->AddToPlaylist(path.toStdString());
}

void TFormMusicMixer::ButtonMoveUpClick() {
    const int index = SelectedPlaylistIndex();
    if (index >= 0)
        PlaylistEdited(Mixer->MoveUp(index));
}

void TFormMusicMixer::ButtonMoveDownClick() {
    const int index = SelectedPlaylistIndex();
    if (index >= 0)
        PlaylistEdited(Mixer->MoveDown(index));
}

void TFormMusicMixer::ButtonRemoveClick() {
    const int index = SelectedPlaylistIndex();
    if (index >= 0)
        PlaylistEdited(Mixer->Remove(index));
}

void TFormMusicMixer::PlaylistEdited(int select) {
    SelectPlaylistItem(select);
    if (QTreeWidgetItem* item = ListViewPlaylist->currentItem())
        ListViewPlaylist->scrollToItem(item);
    ListViewPlaylist->setFocus();
}

void TFormMusicMixer::ListViewPlaylistDblClick() {
    const int index = SelectedPlaylistIndex();
    if (index >= 0)
        Mixer->PlayPlaylistItem(index);
}

void TFormMusicMixer::LsFilelistView28DblClick() {
    const QString path = SelectedFilePath();
    const QFileInfo info(path);
    if (info.isFile())
        Mixer->AddToPlaylist(path.toStdString());
    else if (info.isDir())
        OpenDirectory(path);
    Settings.WriteString(QStringLiteral("MusicDirectory"), FileListDirectory());
}

void TFormMusicMixer::TrackBarPlayingTimePressed() {
    Mixer->BeginTracking();
}

void TFormMusicMixer::TrackBarPlayingTimeReleased() {
    Mixer->SetPlayingTime(TrackBarPlayingTime->value());
    Mixer->EndTracking();
}

void TFormMusicMixer::SliderCastVolumeChange() {
    Mixer->SetCastVolume(SliderCastVolume->value(), SliderCastVolume->maximum());
    Settings.WriteInteger(QStringLiteral("CastVolume"), SliderCastVolume->value());
}

void TFormMusicMixer::SliderMusicVolumeChange() {
    Mixer->SetMusicVolume(SliderMusicVolume->value(), SliderMusicVolume->maximum());
    Settings.WriteInteger(QStringLiteral("MusicVolume"), SliderMusicVolume->value());
}

void TFormMusicMixer::TimerMonitorPlaybackTimer() {
    Mixer->TimerMonitorPlaybackTimer();
}

QString TFormMusicMixer::FileListDirectory() const {
    return FileModel->rootPath();
}

QString TFormMusicMixer::SelectedFilePath() const {
    const QModelIndex index = LsFilelistView28->currentIndex();
    return index.isValid() ? FileModel->filePath(index) : QString();
}

void TFormMusicMixer::OpenDirectory(const QString& directory) {
    LsFilelistView28->setRootIndex(FileModel->setRootPath(directory));
    const QModelIndex inTree = DirectoryModel->index(directory);
    LsDirTreeCombo28->setCurrentIndex(inTree);
    LsDirTreeCombo28->scrollTo(inTree);
    UpdateActions();
}

int TFormMusicMixer::SelectedPlaylistIndex() const {
    const QList<QTreeWidgetItem*> selected = ListViewPlaylist->selectedItems();
    return selected.isEmpty() ? -1 : ListViewPlaylist->indexOfTopLevelItem(selected.front());
}

void TFormMusicMixer::SelectPlaylistItem(int index) {
    ListViewPlaylist->clearSelection();
    if (QTreeWidgetItem* item = ListViewPlaylist->topLevelItem(index)) {
        ListViewPlaylist->setCurrentItem(item);
        item->setSelected(true);
    }
}

void TFormMusicMixer::ShowPlaylist() {
    ListViewPlaylist->clear();
    for (const std::string& path : Mixer->Playlist())
        ListViewPlaylist->addTopLevelItem(
            new QTreeWidgetItem({QFileInfo(QString::fromStdString(path)).fileName()}));
}

void TFormMusicMixer::ShowPlayingTime() {
    const QSignalBlocker quiet(TrackBarPlayingTime);
    TrackBarPlayingTime->setRange(0, Mixer->PlayingTimeMax());
    TrackBarPlayingTime->setValue(Mixer->PlayingTime());
}
