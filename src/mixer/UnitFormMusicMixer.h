#pragma once

#include "mixer/UnitMusicMixer.h"

#include <QAudioDevice>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QFileSystemModel;
class QLabel;
class QListView;
class QMenu;
class QPushButton;
class QSlider;
class QStatusBar;
class QTabWidget;
class QTimer;
class QTreeView;
class QTreeWidget;

// The settings the mixer keeps, reached through the main window (section "Settings").
struct TMixerSettings {
    std::function<QString(const QString& key, const QString& fallback)> ReadString;
    std::function<void(const QString& key, const QString& value)> WriteString;
    std::function<int(const QString& key, int fallback)> ReadInteger;
    std::function<void(const QString& key, int value)> WriteInteger;
};

// "NELQ Music Mixer": the file browser and the playlist, the playing controls
// and the two volume sliders over the mixer's workings.
class TFormMusicMixer : public QWidget {
public:
    // `programDirectory` holds playlist.txt; `recordingFormat` tells the
    // format the cast is captured in; a null `output` means the default
    // output device.
    TFormMusicMixer(const QString& programDirectory, TMixerSettings settings,
                    std::function<TRecordingFormat()> recordingFormat,
                    const QAudioDevice& output = QAudioDevice());
    ~TFormMusicMixer() override;

    // The capture's hook (the cast volume applies whether music plays or not).
    void MixMusic(uint8_t* packet, int size) { Mixer->MixMusic(packet, size); }

    // "Stop Recording": the window goes and the music stops as Stop stops it.
    void HideAndStop();

    void ButtonPlayClick();
    void ButtonStopClick();
    void ButtonPauseClick();
    void ActionPlayMP3Execute();
    void ActionAddMP3Execute();
    void ButtonMoveUpClick();
    void ButtonMoveDownClick();
    void ButtonRemoveClick();
    void ListViewPlaylistDblClick();
    void LsFilelistView28DblClick();
    void TrackBarPlayingTimePressed();
    void TrackBarPlayingTimeReleased();
    void SliderCastVolumeChange();
    void SliderMusicVolumeChange();
    void TimerMonitorPlaybackTimer();

    // The file list's directory; the selected file-list entry (empty when none).
    QString FileListDirectory() const;
    QString SelectedFilePath() const;
    void OpenDirectory(const QString& directory);
    int SelectedPlaylistIndex() const;
    void SelectPlaylistItem(int index);
    // Brings the enabled state of every action up to date.
    void UpdateActions();

    std::unique_ptr<TMusicMixer> Mixer;

    QTabWidget* PageControl;
    QTreeView* LsDirTreeCombo28;
    QListView* LsFilelistView28;
    QMenu* PopupMenuFiles;
    QAction* ActionPlayMP3;
    QAction* ActionAddMP3;
    QTreeWidget* ListViewPlaylist;
    QPushButton* ButtonMoveUp;
    QPushButton* ButtonMoveDown;
    QPushButton* ButtonRemove;
    QPushButton* ButtonPlay;
    QPushButton* ButtonStop;
    QPushButton* ButtonPause;
    QSlider* TrackBarPlayingTime;
    QSlider* SliderCastVolume;
    QSlider* SliderMusicVolume;
    QStatusBar* StatusBar;
    QTimer* TimerMonitorPlayback;

private:
    QWidget* BuildExplorerPage();
    QWidget* BuildPlaylistPage();
    QWidget* BuildControls();
    void ConnectHandlers();
    void BindMixerView();
    void ShowPlaylist();
    void ShowPlayingTime();
    void PlaylistEdited(int select);
    // Runs a handler; what it raises goes to the status bar.
    void Run(const std::function<void()>& handler);

    const TMixerSettings Settings;
    QFileSystemModel* DirectoryModel;
    QFileSystemModel* FileModel;
};
