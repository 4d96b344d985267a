#include "app/pages/PagesSetup.h"

#include "app/LocalPath.h"
#include "app/UnitGameInstall.h"
#include "app/UnitHostHistory.h"
#include "app/UnitMessageBoxes.h"
#include "app/UnitSettingsStore.h"
#include "app/pages/PageKit.h"
#include "playback/ArchiveExport.h"
#include "platform/WineRegistry.h"
#include "playback/OfflineCastList.h"

#include <QAction>
#include <QCompleter>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileDialog>

using namespace PageKit;

namespace {

// An editable host box over its history. Its completer matches letter case
// exactly: a case-blind one swaps the typed text for a history entry that
// differs only in case as soon as the focus leaves.
QComboBox* HostBox(QWidget* parent, const QString& name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->completer()->setCaseSensitivity(Qt::CaseSensitive);
    return box;
}

} // namespace

TPageLocateTribes2::TPageLocateTribes2(QAction* actionSelectT2, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Locate Tribes2"));
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(Text(this, QStringLiteral("Locate Tribes 2"), true));

    // The version label stands large in the place of the instruction's three
    // empty lines, between its two parts, so that it covers none of its text.
    layout->addWidget(
        Paragraph(this, QStringLiteral("Select the location of the latest version ")));
    LabelT2Version = Text(this, QString(), true);
    LabelT2Version->setObjectName(QStringLiteral("LabelT2Version"));
    QFont large = LabelT2Version->font();
    large.setPointSize(large.pointSize() * 2);
    LabelT2Version->setFont(large);
    LabelT2Version->setAlignment(Qt::AlignCenter);
    LabelT2Version->setMinimumHeight(3 * fontMetrics().lineSpacing());
    layout->addWidget(LabelT2Version);
    layout->addWidget(Paragraph(
        this, QStringLiteral("of Tribes 2 executable and then click next. This will create \n"
                             "the patched Tribes 2 executable that NELQ will use to play \n"
                             "back a cast.")));
    layout->addStretch();

    EditTribes2Path = new QLineEdit(this);
    EditTribes2Path->setObjectName(QStringLiteral("EditTribes2Path"));
    PathField(EditTribes2Path);
    layout->addWidget(EditTribes2Path);
    ButtonSelectTribes2 = new QPushButton(this);
    ButtonSelectTribes2->setObjectName(QStringLiteral("ButtonSelectTribes2"));
    BindButtonToAction(ButtonSelectTribes2, actionSelectT2);
    layout->addWidget(ButtonSelectTribes2, 0, Qt::AlignRight);
}

TPageInto::TPageInto(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Into"));
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(Text(this, QStringLiteral("Welcome to the NELQ Client Software."), true));
    layout->addWidget(
        Paragraph(this, QStringLiteral("Select an option from the list below, then click next to \n"
                                       "proceed")));

    RadioButtonViewGame =
        new QRadioButton(QStringLiteral("View a game hosted on a NELQ server"), this);
    RadioButtonViewGame->setObjectName(QStringLiteral("RadioButtonViewGame"));
    layout->addWidget(RadioButtonViewGame);
    layout->addWidget(Text(this, QStringLiteral("Enter the IP address of the NELQ server")));
    ComboBoxViewHost = HostBox(this, QStringLiteral("ComboBoxViewHost"));
    layout->addWidget(ComboBoxViewHost);

    RadioButtonViewOffline = new QRadioButton(QStringLiteral("View an offline game"), this);
    RadioButtonViewOffline->setObjectName(QStringLiteral("RadioButtonViewOffline"));
    layout->addWidget(RadioButtonViewOffline);
    ListViewOffline =
        ListView(this, QStringLiteral("ListViewOffline"), {QStringLiteral("Stream Name")});
    ListViewOffline->setMinimumHeight(40);
    ActionExportArchive = new QAction(QStringLiteral("Export as archive\u2026"), this);
    ActionExportArchive->setObjectName(QStringLiteral("ActionExportArchive"));
    ActionExportArchive->setEnabled(false);
    ListViewOffline->addAction(ActionExportArchive);
    // Only a stored cast directory can be exported; an archive already is one.
    connect(ListViewOffline, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = ListViewOffline->selectedItems();
        ActionExportArchive->setEnabled(
            !selected.isEmpty() && !IsCastArchive(LocalPath(StreamsDirectory),
                                                  LocalPath(selected.first()->text(0))));
    });
    connect(ActionExportArchive, &QAction::triggered, this,
            [this] { RunGuarded(this, [this] { ActionExportArchiveExecute(); }); });
    ListViewOffline->setContextMenuPolicy(Qt::ActionsContextMenu);
    layout->addWidget(ListViewOffline, 1);

    RadioButtonFilmGame = new QRadioButton(QStringLiteral("Film a game"), this);
    RadioButtonFilmGame->setObjectName(QStringLiteral("RadioButtonFilmGame"));
    layout->addWidget(RadioButtonFilmGame);
    layout->addWidget(Text(this, QStringLiteral("Enter the IP address of the NELQ server")));
    ComboBoxFilmHost = HostBox(this, QStringLiteral("ComboBoxFilmHost"));
    layout->addWidget(ComboBoxFilmHost);
    layout->addWidget(ClickNextHint(this));

    for (QWidget* w :
         {static_cast<QWidget*>(ComboBoxViewHost), static_cast<QWidget*>(ListViewOffline),
          static_cast<QWidget*>(ComboBoxFilmHost)})
        w->installEventFilter(this);
}

bool TPageInto::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == ComboBoxViewHost)
            emit ViewHostEntered();
        else if (watched == ListViewOffline)
            emit OfflineListEntered();
        else if (watched == ComboBoxFilmHost)
            emit FilmHostEntered();
    }
    return QWidget::eventFilter(watched, event);
}

void TPageLocateTribes2::ShowGameDirectory(const QString& gameDirectory) {
    EditTribes2Path->setText(gameDirectory + QString::fromStdString(FindNameIgnoringCase(
                                                 gameDirectory.toStdString(), GameExecutableName)));
    LabelT2Version->setText(RequiredGameBuild);
}

void TPageLocateTribes2::ActionSelectT2Execute() {
    const QString current = EditTribes2Path->text();
    QFileDialog dialog(this, QStringLiteral("Select Tribes2.exe File"), QFileInfo(current).path(),
                       QStringLiteral("Executables (*.exe);;All Files (*)"));
    dialog.setObjectName(QStringLiteral("OpenDialogTribes2"));
    dialog.setDefaultSuffix(QStringLiteral("exe"));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.selectFile(current);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        TakeGameExecutable(dialog.selectedFiles().first());
}

void TPageLocateTribes2::TakeGameExecutable(const QString& chosen) {
    if (!QFileInfo(chosen).isFile()) {
        ShowErrorBox(this,
                     QStringLiteral("No file selected, the tribes2 executable must be selected"));
        return;
    }
    EditTribes2Path->setText(chosen);
}

WizardMode TPageInto::Mode() const {
    if (RadioButtonViewGame->isChecked())
        return WizardMode::ViewServer;
    if (RadioButtonViewOffline->isChecked())
        return WizardMode::ViewOffline;
    return WizardMode::Film;
}

void TPageInto::SetMode(WizardMode mode) {
    switch (mode) {
    case WizardMode::ViewServer:
        RadioButtonViewGame->setChecked(true);
        break;
    case WizardMode::ViewOffline:
        RadioButtonViewOffline->setChecked(true);
        break;
    case WizardMode::Film:
        RadioButtonFilmGame->setChecked(true);
        break;
    }
}

bool TPageInto::ReadyForNext() const {
    switch (Mode()) {
    case WizardMode::ViewServer:
        return !ComboBoxViewHost->currentText().isEmpty();
    case WizardMode::Film:
        return !ComboBoxFilmHost->currentText().isEmpty();
    case WizardMode::ViewOffline:
        return !ListViewOffline->selectedItems().isEmpty();
    }
    return false;
}

void TPageInto::StoreChoices(SettingsStore& settings) const {
    settings.WriteString(SettingsSection, QStringLiteral("ViewHost"),
                         ComboBoxViewHost->currentText());
    settings.WriteString(SettingsSection, QStringLiteral("FilmHost"),
                         ComboBoxFilmHost->currentText());
    SaveHostHistory(*ComboBoxViewHost, settings);
    SaveHostHistory(*ComboBoxFilmHost, settings);
}

void TPageInto::LoadChoices(const SettingsStore& settings, const QString& streamsDirectory) {
    ComboBoxViewHost->setEditText(
        settings.ReadString(SettingsSection, QStringLiteral("ViewHost"), {}));
    ComboBoxFilmHost->setEditText(
        settings.ReadString(SettingsSection, QStringLiteral("FilmHost"), {}));
    LoadHostHistory(*ComboBoxViewHost, settings);
    LoadHostHistory(*ComboBoxFilmHost, settings);
    FillOfflineList(streamsDirectory);
}

void TPageInto::FillOfflineList(const QString& streamsDirectory) {
    StreamsDirectory = streamsDirectory;
    ListViewOffline->clear();
    for (const std::string& cast : ListOfflineCasts(LocalPath(StreamsDirectory)))
        new QTreeWidgetItem(ListViewOffline, {QFile::decodeName(QByteArray::fromStdString(cast))});
    ListViewOffline->resizeColumnToContents(0);
    ActionExportArchive->setEnabled(false);
}

void TPageInto::ActionExportArchiveExecute() {
    const QList<QTreeWidgetItem*> selected = ListViewOffline->selectedItems();
    if (selected.isEmpty())
        return;
    const QString cast = selected.first()->text(0);
    QFileDialog dialog(this, QStringLiteral("Export as archive"),
                       StreamsDirectory + cast + QStringLiteral(".qmx"),
                       QStringLiteral("Cast archives (*.qmx)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("qmx"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    ExportCastArchive(LocalPath(StreamsDirectory + cast + QLatin1Char('/')),
                      LocalPath(dialog.selectedFiles().first()));
    FillOfflineList(StreamsDirectory);
}
