#pragma once

#include <QPlainTextEdit>
#include <QProgressBar>
#include <QWidget>

// Page "Connecting": status messages of the connection threads.
class TPageConnecting : public QWidget {
    Q_OBJECT
public:
    explicit TPageConnecting(QWidget* parent = nullptr);

    QPlainTextEdit* MemoConsole;
};

// Page "Offline Viewing": progress of extracting a cast archive.
class TPageOfflineViewing : public QWidget {
    Q_OBJECT
public:
    explicit TPageOfflineViewing(QWidget* parent = nullptr);

    QProgressBar* ProgressBarExtract;
};
