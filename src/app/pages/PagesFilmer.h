#pragma once

#include "session/UnitFilmController.h"

class SettingsStore;

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

class QAction;

// Page "Film Options": login, recordings directory and upload settings.
class TPageFilmOptions : public QWidget {
    Q_OBJECT
public:
    TPageFilmOptions(QAction* actionSelectRecordings, QWidget* parent = nullptr);

    QLineEdit* EditPassword;
    QLineEdit* EditGameName;
    QLineEdit* EditDemoPathName;
    QPushButton* ButtonDemoBrowse;
    QComboBox* ComboBoxRecordingType;
    QComboBox* ComboBoxAudioRate;
    QComboBox* ComboBoxTransferRate;
    QComboBox* ComboBoxSectionStep;

    // The stored choices shown on the page, with defaults for what is missing
    // or out of range.
    void LoadChoices(const SettingsStore& settings);
    // A game name and a section step are chosen.
    bool ReadyForNext() const;
    // Keeps the page's choices; a transfer rate that is not a positive whole
    // number is refused before anything is kept.
    void StoreChoices(SettingsStore& settings) const;
    // Bytes per second; throws for one that would never move a byte.
    int TransferRate() const;
    // The run these choices ask for; the caller adds where it goes and from whom.
    TFilmSettings FilmSettings() const;
};

// Page "Filming": what is being recorded and uploaded.
class TPageFilming : public QWidget {
    Q_OBJECT
public:
    explicit TPageFilming(QWidget* parent = nullptr);

    QLabel* LabelStartDemo;
    QLabel* LabelTransferedTo;
    QLabel* PanelAudioRecording;
    QLabel* PanelDemoRecording;
    QLabel* PanelPleaseWait;
    QLabel* LabelUploadBacklog;
    QPushButton* ButtonStopFilming;
    QPushButton* ButtonMusicMixer;
};
