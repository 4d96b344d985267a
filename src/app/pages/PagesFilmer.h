#pragma once

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
    QPushButton* ButtonStopFilming;
    QPushButton* ButtonMusicMixer;
};
