#pragma once

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

// Name, version, legal notice and credits of the program.
class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(QWidget* parent = nullptr);

    QLabel* LabelSoftwareName;
    QLabel* LabelVersion;
    QLabel* LabelLegalCopyright;
    QPlainTextEdit* MemoCredits;
    QLabel* LabelWeb;
    QLabel* LabelEmail;
    QPushButton* ButtonOK;

protected:
    void showEvent(QShowEvent* event) override;
};
