#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QWidget>

#include <optional>

struct TDownloadProgress;
class SettingsStore;

// Page "AuthView": the viewer's login to a server that asks for one.
class TPageAuthView : public QWidget {
    Q_OBJECT
public:
    explicit TPageAuthView(QWidget* parent = nullptr);

    QLineEdit* EditViewerUsername;
    QLineEdit* EditViewerPassword;

    // The login last used, and keeping the one entered.
    void LoadLogin(const SettingsStore& settings);
    void StoreLogin(SettingsStore& settings) const;
};

// Page "View Options": the game to watch and how to watch it.
class TPageViewOptions : public QWidget {
    Q_OBJECT
public:
    explicit TPageViewOptions(QWidget* parent = nullptr);

    QComboBox* ComboBoxGames;
    QCheckBox* CheckBoxAudioOnly;
    QCheckBox* CheckBoxTribesWindowed;
    QComboBox* ComboBoxVideoMode;
    QSlider* TrackBarTribesVolume;

    // The display choices read back from the game's preference file.
    void ReadClientPrefs(const QString& gameDirectory);
    void LoadAudioOnly(const SettingsStore& settings);
    // What Next keeps: the display choices in the game's preference file and
    // "audio only" in the settings.
    void StoreViewOptions(const QString& gameDirectory, SettingsStore& settings) const;
};

// Page "Section Pick": where in the cast to start.
class TPageSectionPick : public QWidget {
    Q_OBJECT
public:
    explicit TPageSectionPick(QWidget* parent = nullptr);

    QRadioButton* RadioButtonPlayFromStart;
    QRadioButton* RadioButtonPickPlayFromLaterPoint;
    QTreeWidget* ListViewSections;
    QPlainTextEdit* MemoDemoStart;

    // Columns of ListViewSections: the section, the first two values of its
    // description, and the cast time at which it starts.
    enum TSectionColumn { SectionColumn, FirstValueColumn, SecondValueColumn, StartsAtColumn };

    // Adds an entry for a start-point section.
    void AddSection(int section, const QString& timeRemaining, const QString& map,
                    const QString& startsAt = {});
    // Lists a cast's start points from their description lines (comma texts of
    // the section number, n names and n values), the first one selected.
    void ShowSections(const QStringList& descriptions);
    // Preselects where the cast was left ("lastplayed.dat" in its directory),
    // or "Play from start" when it was never played.
    void PrepareSectionPick(const QString& castDirectory);
    // The section an entry stands for.
    static int SectionOf(const QTreeWidgetItem* item);
    std::optional<int> SelectedIndex() const;

    // The list and its description show only while "Play from a later point" is checked.
    void ApplyRadioButtonRule();

private:
    // Shows the selected start point's description as "name: value" lines.
    void ListViewSectionsSelectItem();
    QStringList Descriptions;
};

// Page "Viewing": download and playback state of a cast.
class TPageViewing : public QWidget {
    Q_OBJECT
public:
    explicit TPageViewing(QWidget* parent = nullptr);

    QLabel* LabelViewingStreams;
    QStackedWidget* NotebookViewing;
    QWidget* PageWaiting;
    QWidget* PageDownloadingBuffer;
    QLabel* LabelBuffer; // over the progress bar: which buffer section is on its way
    QProgressBar* ProgressBarBuffer;
    QTreeWidget* ListViewStreams;
    QLabel* PanelPaused;
    QLabel* LabelPlayback; // where playback stands, while a cast plays

    // Back to "Waiting for streams to start..." with nothing listed.
    void Reset();
    void ShowDownload(const TDownloadProgress& progress);
};
