#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QWidget>

// Page "Connecting": status messages of the connection threads.
class TPageConnecting : public QWidget {
    Q_OBJECT
public:
    explicit TPageConnecting(QWidget* parent = nullptr);
    // The page as entering it leaves it: an empty console and no caption.
    void Clear();
    // The caption under the console; an empty one hides it.
    void ShowCaption(const QString& caption);

    QPlainTextEdit* MemoConsole;
    QLabel* LabelEnding;   // what happened and what to do, once a run has come to an end
    QLabel* LabelPlayback; // where playback stands, while a cast plays on
};

// Page "Offline Viewing": progress of extracting a cast archive.
class TPageOfflineViewing : public QWidget {
    Q_OBJECT
public:
    explicit TPageOfflineViewing(QWidget* parent = nullptr);

    QProgressBar* ProgressBarExtract;
    QLabel* LabelPlayback;
};
