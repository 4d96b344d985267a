#pragma once

#include "app/WizardMode.h"

class SettingsStore;

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QWidget>

class QAction;

// Page "Locate Tribes2": points the client at the game's executable.
class TPageLocateTribes2 : public QWidget {
    Q_OBJECT
public:
    TPageLocateTribes2(QAction* actionSelectT2, QWidget* parent = nullptr);

    QLabel* LabelT2Version;
    QLineEdit* EditTribes2Path;
    QPushButton* ButtonSelectTribes2;

    // The game's executable in `gameDirectory` (found whatever its letter
    // case), and the build the client needs.
    void ShowGameDirectory(const QString& gameDirectory);
    // Browse: a file dialog for the game's executable.
    void ActionSelectT2Execute();
    // What Browse does with the file the user confirmed in the dialog.
    void TakeGameExecutable(const QString& chosen);
};

// Page "Into": the choice of what to do, with the hosts and stored casts.
class TPageInto : public QWidget {
    Q_OBJECT
public:
    explicit TPageInto(QWidget* parent = nullptr);

    QRadioButton* RadioButtonViewGame;
    QRadioButton* RadioButtonViewOffline;
    QRadioButton* RadioButtonFilmGame;
    QComboBox* ComboBoxViewHost;
    QTreeWidget* ListViewOffline;
    QComboBox* ComboBoxFilmHost;
    // The offline list's context menu: the selected stored cast as a ".qmx".
    QAction* ActionExportArchive;

    WizardMode Mode() const;
    void SetMode(WizardMode mode);
    // Whether the chosen mode has what it needs: a host, or a stored cast.
    bool ReadyForNext() const;

    // The hosts and recordings directory last used, and the offline list.
    void LoadChoices(const SettingsStore& settings, const QString& streamsDirectory);
    // Keeps the hosts, each with its history.
    void StoreChoices(SettingsStore& settings) const;
    // Lists the stored casts and cast archives of the streams directory.
    void FillOfflineList(const QString& streamsDirectory);

signals:
    // A control that belongs to one mode took the keyboard focus.
    void ViewHostEntered();
    void OfflineListEntered();
    void FilmHostEntered();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Writes the selected stored cast as the ".qmx" the user names.
    void ActionExportArchiveExecute();
    QString StreamsDirectory;
};
