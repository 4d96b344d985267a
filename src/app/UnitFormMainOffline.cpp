// The main window's side of offline viewing: opening a stored cast or a cast
// archive, replaying it through the assembly, and exporting a stored cast.

#include "app/UnitFormMain.h"

#include "app/UnitMessageBoxes.h"
#include "app/UnitNELQGlobal.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesStatus.h"
#include "app/pages/PagesViewer.h"
#include "playback/ArchiveExport.h"
#include "playback/ArchiveExtraction.h"
#include "playback/OfflineCastList.h"
#include "playback/OfflineViewing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>

#include <exception>

namespace {

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace

void TFormMain::ConnectOfflineList() {
    QTreeWidget* list = Into->ListViewOffline;
    // Only a stored cast directory can be exported; an archive already is one.
    connect(list, &QTreeWidget::itemSelectionChanged, this, [this, list] {
        const QList<QTreeWidgetItem*> selected = list->selectedItems();
        Into->ActionExportArchive->setEnabled(
            !selected.isEmpty() &&
            !IsCastArchive(LocalPath(StreamsDirectory), LocalPath(selected.first()->text(0))));
    });
    connect(Into->ActionExportArchive, &QAction::triggered, this,
            [this] { RunGuarded(this, [this] { ActionExportArchiveExecute(); }); });
}

void TFormMain::FillOfflineList() {
    QTreeWidget* list = Into->ListViewOffline;
    list->clear();
    for (const std::string& cast : ListOfflineCasts(LocalPath(StreamsDirectory)))
        new QTreeWidgetItem(list, {QFile::decodeName(QByteArray::fromStdString(cast))});
    list->resizeColumnToContents(0);
    Into->ActionExportArchive->setEnabled(false);
}

void TFormMain::OpenOfflineCast(const QString& name) {
    CurrentGame = name;
    if (IsCastArchive(LocalPath(StreamsDirectory), LocalPath(name)))
        ExtractArchive(StreamsDirectory + name);
    StartOfflineViewing();
}

void TFormMain::ExtractArchive(const QString& path) {
    TExtractOptions options;
    // Keeps the window painted; input waits, so nothing else starts meanwhile.
    options.Progress = [](std::int64_t, std::int64_t) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    ExtractCastArchive(
        LocalPath(path),
        LocalPath(StreamsDirectory + QLatin1String(ExtractionDirectoryName) + QLatin1Char('/')),
        options);
    CurrentGame = QLatin1String(ExtractionDirectoryName);
}

void TFormMain::StartOfflineViewing() {
    const bool audioOnly = Settings->ReadBool(SettingsSection, QStringLiteral("AudioOnly"), false);
    // Checked whole first: a cast that cannot play changes nothing.
    const std::vector<TCompletedSection> sections =
        LoadPlayableCast(LocalPath(CastDirectory()), audioOnly);
    QDir().mkpath(GameDirectory + QStringLiteral("NELQ/recordings"));

    ShowPage(PageOfflineViewing);
    QProgressBar* bar = OfflineViewing->ProgressBarExtract;
    bar->setRange(1, static_cast<int>(sections.size()) + 1); // the lines of "completed.dat"
    bar->setValue(1);
    QCoreApplication::processEvents();

    ViewOptions->CheckBoxAudioOnly->setChecked(audioOnly);
    StartSection = sections.front().Section;
    TAssemblySettings settings;
    settings.CastDirectory = LocalPath(CastDirectory());
    settings.GameDirectory = LocalPath(GameDirectory);
    settings.AudioOnly = audioOnly;
    try {
        // Between sections the synchronisation and the audio device run:
        // playback begins at the third section while the rest is assembled.
        ReplayCast(
            Assembly, settings, sections,
            [bar](std::size_t replayed) {
                bar->setValue(static_cast<int>(replayed));
                QCoreApplication::processEvents();
            },
            [this] { StreamsEndedHandler(); });
    } catch (const std::exception& error) {
        // This page offers neither Back nor Next; the console page does, and
        // whatever was assembled before the failure plays on.
        OnStatus(QString::fromUtf8(error.what()));
        throw;
    }
    if (Assembly.LastCompletedSection() != sections.back().Section)
        return; // torn down while the sections were replayed
    OnStatus(QStringLiteral("Extraction Complete."));
    OnStatus(QStringLiteral("Initialising Playback..."));
    QCoreApplication::processEvents();
}

void TFormMain::ActionExportArchiveExecute() {
    const QList<QTreeWidgetItem*> selected = Into->ListViewOffline->selectedItems();
    if (selected.isEmpty())
        return;
    const QString cast = selected.first()->text(0);
    QFileDialog dialog(this, QStringLiteral("Export as archive"),
                       StreamsDirectory + cast + QStringLiteral(".qmx"),
                       QStringLiteral("Cast archives (*.qmx)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("qmx"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        ExportOfflineCast(cast, dialog.selectedFiles().first());
}

void TFormMain::ExportOfflineCast(const QString& cast, const QString& archivePath) {
    ExportCastArchive(LocalPath(StreamsDirectory + cast + QLatin1Char('/')),
                      LocalPath(archivePath));
    FillOfflineList();
}
