#include "app/pages/PagesViewer.h"

#include "app/UnitClientPrefs.h"
#include "app/UnitSectionPick.h"
#include "app/UnitSettingsStore.h"
#include "app/pages/PageKit.h"
#include "platform/CommaText.h"
#include "session/ViewingView.h"

#include <QFile>
#include <QGridLayout>
#include <QHeaderView>

using namespace PageKit;

namespace {

constexpr int CredentialLength = 40;
constexpr int SectionRole = Qt::UserRole;

// The two middle captions name the first two values of a description line.
QStringList SectionCaptions(const QString& firstValue, const QString& secondValue) {
    return {QStringLiteral("Section"), firstValue, secondValue, QStringLiteral("Starts at")};
}

} // namespace

TPageAuthView::TPageAuthView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("AuthView"));
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(Text(this, QStringLiteral("User authentication required"), true));
    layout->addWidget(
        Paragraph(this, QStringLiteral("To view a game hosted on this server, you must first\n"
                                       "login")));
    layout->addSpacing(12);
    layout->addWidget(Text(this, QStringLiteral("Enter your username")));
    EditViewerUsername = new QLineEdit(this);
    EditViewerUsername->setObjectName(QStringLiteral("EditViewerUsername"));
    EditViewerUsername->setMaxLength(CredentialLength);
    layout->addWidget(EditViewerUsername);
    layout->addWidget(Text(this, QStringLiteral("Enter your password")));
    EditViewerPassword = new QLineEdit(this);
    EditViewerPassword->setObjectName(QStringLiteral("EditViewerPassword"));
    EditViewerPassword->setMaxLength(CredentialLength);
    PasswordField(EditViewerPassword);
    layout->addWidget(EditViewerPassword);
    layout->addStretch();
    layout->addWidget(ClickNextHint(this));
}

void TPageAuthView::LoadLogin(const SettingsStore& settings) {
    EditViewerUsername->setText(
        settings.ReadString(SettingsSection, QStringLiteral("ViewerUsername"), {}));
    EditViewerPassword->setText(
        settings.ReadString(SettingsSection, QStringLiteral("ViewerPassword"), {}));
}

void TPageAuthView::StoreLogin(SettingsStore& settings) const {
    settings.WriteString(SettingsSection, QStringLiteral("ViewerUsername"),
                         EditViewerUsername->text());
    settings.WriteString(SettingsSection, QStringLiteral("ViewerPassword"),
                         EditViewerPassword->text());
}

TPageViewOptions::TPageViewOptions(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("View Options"));
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(Text(this, QStringLiteral("Please select the game you wish to watch")));
    ComboBoxGames = new QComboBox(this);
    ComboBoxGames->setObjectName(QStringLiteral("ComboBoxGames"));
    layout->addWidget(ComboBoxGames);

    layout->addWidget(
        Paragraph(this, QStringLiteral("If you on a very low bandwidth connection then you can \n"
                                       "select to stream only the audio.")));
    CheckBoxAudioOnly = new QCheckBox(QStringLiteral("Audio Only"), this);
    CheckBoxAudioOnly->setObjectName(QStringLiteral("CheckBoxAudioOnly"));
    layout->addWidget(CheckBoxAudioOnly);

    layout->addWidget(
        Paragraph(this, QStringLiteral("Set this to watch the NELQ stream in a window, uncheck\n"
                                       "this to watch NELQ stream fullscreen.")));
    CheckBoxTribesWindowed = new QCheckBox(QStringLiteral("Start Tribes 2 in a window"), this);
    CheckBoxTribesWindowed->setObjectName(QStringLiteral("CheckBoxTribesWindowed"));
    layout->addWidget(CheckBoxTribesWindowed);

    // Captions left, controls right; a caption breaks into two lines where
    // the desktop's font makes it too wide for the page.
    auto* rows = new QGridLayout;
    rows->setColumnStretch(1, 1);
    rows->addWidget(Paragraph(this, QStringLiteral("Video mode to playback stream at")), 0, 0);
    ComboBoxVideoMode = new QComboBox(this);
    ComboBoxVideoMode->setObjectName(QStringLiteral("ComboBoxVideoMode"));
    for (const std::string& mode : VideoModes())
        ComboBoxVideoMode->addItem(QString::fromStdString(mode));
    rows->addWidget(ComboBoxVideoMode, 0, 1);

    rows->addWidget(Paragraph(this, QStringLiteral("Tribes 2 in game audio volume ")), 1, 0);
    TrackBarTribesVolume = new QSlider(Qt::Horizontal, this);
    TrackBarTribesVolume->setObjectName(QStringLiteral("TrackBarTribesVolume"));
    TrackBarTribesVolume->setRange(0, 10);
    TrackBarTribesVolume->setSingleStep(1);
    TrackBarTribesVolume->setPageStep(1);
    TrackBarTribesVolume->setTickPosition(QSlider::TicksBelow);
    TrackBarTribesVolume->setValue(10);
    rows->addWidget(TrackBarTribesVolume, 1, 1);
    layout->addLayout(rows);
    layout->addWidget(
        Paragraph(this, QStringLiteral("You may wish to reduce the normal audio volume of\n"
                                       "Tribes 2 so that the shoutcast audio stream can be \n"
                                       "heard more clearly.")));
    layout->addStretch();
    layout->addWidget(ClickNextHint(this));
}

TPageSectionPick::TPageSectionPick(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Section Pick"));
    QVBoxLayout* layout = PageLayout(this);
    RadioButtonPlayFromStart = new QRadioButton(QStringLiteral("Play from start"), this);
    RadioButtonPlayFromStart->setObjectName(QStringLiteral("RadioButtonPlayFromStart"));
    RadioButtonPlayFromStart->setChecked(true);
    layout->addWidget(RadioButtonPlayFromStart);
    layout->addWidget(Text(this, QStringLiteral("Play the cast from the very begining")));
    RadioButtonPickPlayFromLaterPoint =
        new QRadioButton(QStringLiteral("Play from a later point"), this);
    RadioButtonPickPlayFromLaterPoint->setObjectName(
        QStringLiteral("RadioButtonPickPlayFromLaterPoint"));
    layout->addWidget(RadioButtonPickPlayFromLaterPoint);
    layout->addWidget(Text(this, QStringLiteral("Play the cast from a point that you pick")));

    ListViewSections =
        ListView(this, QStringLiteral("ListViewSections"),
                 SectionCaptions(QStringLiteral("Time Remaining"), QStringLiteral("Map")));
    // The short columns as wide as their entries and captions; the map takes
    // what is left, so that a row is read without scrolling sideways.
    QHeaderView* header = ListViewSections->header();
    header->setStretchLastSection(false);
    for (int column = SectionColumn; column <= StartsAtColumn; ++column)
        header->setSectionResizeMode(column, column == SecondValueColumn
                                                 ? QHeaderView::Stretch
                                                 : QHeaderView::ResizeToContents);
    layout->addWidget(ListViewSections, 2);
    MemoDemoStart = new QPlainTextEdit(this);
    MemoDemoStart->setObjectName(QStringLiteral("MemoDemoStart"));
    MemoDemoStart->setReadOnly(true);
    layout->addWidget(MemoDemoStart, 1);
    // Takes the room the list leaves while it is hidden, so that the two
    // choices stay together at the top.
    layout->addStretch();
    layout->addWidget(ClickNextHint(this));

    connect(RadioButtonPlayFromStart, &QRadioButton::clicked, this,
            &TPageSectionPick::ApplyRadioButtonRule);
    connect(RadioButtonPickPlayFromLaterPoint, &QRadioButton::clicked, this,
            &TPageSectionPick::ApplyRadioButtonRule);
    connect(ListViewSections, &QTreeWidget::itemSelectionChanged, this,
            &TPageSectionPick::ListViewSectionsSelectItem);
    ApplyRadioButtonRule();
}

namespace {

QString Field(const std::vector<std::string>& fields, std::size_t index) {
    return index < fields.size() ? QString::fromStdString(fields[index]) : QString();
}

TribesDisplayPrefs ChoicesOn(const TPageViewOptions& page) {
    TribesDisplayPrefs prefs;
    prefs.Windowed = page.CheckBoxTribesWindowed->isChecked();
    prefs.VideoMode = page.ComboBoxVideoMode->currentText().toStdString();
    prefs.Volume = page.TrackBarTribesVolume->value();
    return prefs;
}

} // namespace

void TPageViewOptions::ReadClientPrefs(const QString& gameDirectory) {
    TribesDisplayPrefs prefs = ChoicesOn(*this);
    if (!::ReadClientPrefs(gameDirectory.toStdString(), prefs))
        return;
    CheckBoxTribesWindowed->setChecked(prefs.Windowed);
    ComboBoxVideoMode->setCurrentIndex(
        std::max(0, ComboBoxVideoMode->findText(QString::fromStdString(prefs.VideoMode))));
    TrackBarTribesVolume->setValue(prefs.Volume);
}

void TPageViewOptions::LoadAudioOnly(const SettingsStore& settings) {
    CheckBoxAudioOnly->setChecked(
        settings.ReadBool(SettingsSection, QStringLiteral("AudioOnly"), false));
}

void TPageViewOptions::StoreViewOptions(const QString& gameDirectory,
                                        SettingsStore& settings) const {
    ::WriteClientPrefs(gameDirectory.toStdString(), ChoicesOn(*this));
    settings.WriteBool(SettingsSection, QStringLiteral("AudioOnly"),
                       CheckBoxAudioOnly->isChecked());
}

void TPageSectionPick::ShowSections(const QStringList& descriptions) {
    Descriptions = descriptions;
    ListViewSections->clear();
    if (descriptions.isEmpty())
        return;
    const std::vector<std::string> first = SplitCommaText(descriptions.first().toStdString());
    if (first.size() >= 3)
        ListViewSections->setHeaderLabels(SectionCaptions(Field(first, 1), Field(first, 2)));
    for (const QString& line : descriptions) {
        const TSectionRow row = SectionRow(line.toStdString());
        AddSection(row.Section, QString::fromStdString(row.FirstValue),
                   QString::fromStdString(row.SecondValue), QString::fromStdString(row.StartsAt));
    }
    ListViewSections->setCurrentItem(ListViewSections->topLevelItem(0));
    ListViewSections->scrollToItem(ListViewSections->topLevelItem(0));
}

void TPageSectionPick::PrepareSectionPick(const QString& castDirectory) {
    QFile lastPlayed(castDirectory + QStringLiteral("lastplayed.dat"));
    if (lastPlayed.open(QIODevice::ReadOnly)) {
        RadioButtonPickPlayFromLaterPoint->setChecked(true);
        std::vector<int> sections;
        for (int i = 0; i < ListViewSections->topLevelItemCount(); ++i)
            sections.push_back(SectionOf(ListViewSections->topLevelItem(i)));
        if (!sections.empty()) {
            QTreeWidgetItem* item = ListViewSections->topLevelItem(
                PickLastPlayedIndex(sections, lastPlayed.readAll().toStdString()));
            ListViewSections->setCurrentItem(item);
            ListViewSections->scrollToItem(item);
        }
    } else {
        RadioButtonPlayFromStart->setChecked(true);
    }
    ApplyRadioButtonRule();
}

void TPageSectionPick::ListViewSectionsSelectItem() {
    MemoDemoStart->clear();
    const std::optional<int> index = SelectedIndex();
    if (!index || *index >= Descriptions.size())
        return;
    for (const std::string& line : DescribeSection(Descriptions[*index].toStdString()))
        MemoDemoStart->appendPlainText(QString::fromStdString(line));
}

void TPageSectionPick::AddSection(int section, const QString& timeRemaining, const QString& map,
                                  const QString& startsAt) {
    auto* item = new QTreeWidgetItem(ListViewSections,
                                     {QString::number(section), timeRemaining, map, startsAt});
    item->setData(SectionColumn, SectionRole, section);
}

int TPageSectionPick::SectionOf(const QTreeWidgetItem* item) {
    return item->data(SectionColumn, SectionRole).toInt();
}

std::optional<int> TPageSectionPick::SelectedIndex() const {
    const QList<QTreeWidgetItem*> selected = ListViewSections->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return ListViewSections->indexOfTopLevelItem(selected.first());
}

void TPageSectionPick::ApplyRadioButtonRule() {
    const bool laterPoint = RadioButtonPickPlayFromLaterPoint->isChecked();
    ListViewSections->setVisible(laterPoint);
    MemoDemoStart->setVisible(laterPoint);
    if (laterPoint && ListViewSections->isEnabled())
        ListViewSections->setFocus();
}

TPageViewing::TPageViewing(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Viewing"));
    QVBoxLayout* layout = PageLayout(this);
    LabelViewingStreams = Text(this, QStringLiteral("Waiting for streams to start..."), true);
    LabelViewingStreams->setObjectName(QStringLiteral("LabelViewingStreams"));
    layout->addWidget(LabelViewingStreams);

    NotebookViewing = new QStackedWidget(this);
    NotebookViewing->setObjectName(QStringLiteral("NotebookViewing"));
    PageWaiting = new QWidget(NotebookViewing);
    PageWaiting->setObjectName(QStringLiteral("Waiting"));
    QVBoxLayout* waiting = PageLayout(PageWaiting);
    waiting->addWidget(
        Paragraph(PageWaiting, QStringLiteral("Please wait... \n\nThe game has not begun yet.")));
    PageDownloadingBuffer = new QWidget(NotebookViewing);
    PageDownloadingBuffer->setObjectName(QStringLiteral("DownloadingBuffer"));
    QVBoxLayout* downloading = PageLayout(PageDownloadingBuffer);
    LabelBuffer = Text(PageDownloadingBuffer, QStringLiteral("Downloading..."));
    LabelBuffer->setObjectName(QStringLiteral("LabelBuffer"));
    downloading->addWidget(LabelBuffer);
    ProgressBarBuffer = new QProgressBar(PageDownloadingBuffer);
    ProgressBarBuffer->setObjectName(QStringLiteral("ProgressBarBuffer"));
    downloading->addWidget(ProgressBarBuffer);
    NotebookViewing->addWidget(PageWaiting);
    NotebookViewing->addWidget(PageDownloadingBuffer);
    layout->addWidget(NotebookViewing);

    ListViewStreams = ListView(
        this, QStringLiteral("ListViewStreams"),
        {QStringLiteral("Number"), QStringLiteral("Type"), QStringLiteral("Data Transfered")});
    // The first two columns as wide as their widest entry or header, the last
    // one the rest: every header reads whole and nothing scrolls sideways.
    ListViewStreams->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ListViewStreams->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    layout->addWidget(ListViewStreams, 1);

    PanelPaused = Text(this, QStringLiteral("PAUSED ... Buffering ..."), true);
    PanelPaused->setObjectName(QStringLiteral("PanelPaused"));
    PanelPaused->setAlignment(Qt::AlignCenter);
    PanelPaused->setFrameShape(QFrame::Panel);
    PanelPaused->hide();
    layout->addWidget(PanelPaused);

    LabelPlayback = PlaybackLine(this);
    layout->addWidget(LabelPlayback);
}

void TPageViewing::Reset() {
    ListViewStreams->clear();
    LabelViewingStreams->setText(QStringLiteral("Waiting for streams to start..."));
    NotebookViewing->setCurrentWidget(PageWaiting);
    ProgressBarBuffer->setMaximum(100);
    ProgressBarBuffer->setValue(0);
}

void TPageViewing::ShowDownload(const TDownloadProgress& progress) {
    NotebookViewing->setCurrentWidget(PageDownloadingBuffer);
    LabelViewingStreams->setText(QStringLiteral("Stream transfer in progress..."));
    const QString slot = QString::number(progress.Slot);
    const QList<QTreeWidgetItem*> rows = ListViewStreams->findItems(slot, Qt::MatchExactly, 0);
    QTreeWidgetItem* row = rows.isEmpty() ? new QTreeWidgetItem(ListViewStreams, {slot}) : rows.first();
    row->setText(1, progress.Audio ? QStringLiteral("Audio (OGG)") : QStringLiteral("Demo"));
    row->setText(2, QStringLiteral("%1 KB").arg(progress.ReceivedKB));
    LabelBuffer->setText(QString::fromStdString(progress.BufferLabel));
    ProgressBarBuffer->setMaximum(100);
    ProgressBarBuffer->setValue(progress.BufferPercent);
}
