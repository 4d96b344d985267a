// The main window's side of viewing a cast hosted on a server: starting the
// download thread and handling what it reports.

#include "app/UnitFormMain.h"

#include "app/UnitLinkGame.h"
#include "app/pages/PagesStatus.h"
#include "app/pages/PagesViewer.h"
#include "net/UnitViewerThread.h"
#include "platform/CommaText.h"

#include <QDir>
#include <QHeaderView>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

constexpr int BufferSections = 3;

QStringList ToQStrings(const std::vector<std::string>& lines) {
    QStringList list;
    for (const std::string& line : lines)
        list << QString::fromStdString(line);
    return list;
}

QString Field(const std::vector<std::string>& fields, std::size_t index) {
    return index < fields.size() ? QString::fromStdString(fields[index]) : QString();
}

} // namespace

void TFormMain::StartViewing(const QString& host) {
    ViewerThread.reset(); // stops a previous run first
    const QString recordings = GameDirectory + QStringLiteral("NELQ/recordings/");
    QDir().mkpath(recordings);

    ViewerThread =
        std::make_unique<TViewerThread>(Sync, ClientVersion.toStdString(), recordings.toStdString(),
                                        StreamsDirectory.toStdString(), host.toStdString());
    TViewerThread& viewer = *ViewerThread;
    viewer.OnStatus = [this](const std::string& text) { OnStatus(QString::fromStdString(text)); };
    viewer.OnGameList = [this](const std::vector<std::string>& games) {
        OnGameList(ToQStrings(games));
    };
    viewer.OnSectionList = [this](const std::vector<std::string>& sections) {
        OnSectionList(ToQStrings(sections));
    };
    viewer.OnProgress = [this](std::int32_t slot, std::int32_t section, std::int32_t type,
                               std::int32_t received, std::int32_t length) {
        OnProgress(slot, section, type, received, length);
    };
    viewer.OnAuthRequired = [this] { OnAuthRequired(); };
    viewer.OnSectionComplete = [this](std::int32_t section, std::int32_t tag) {
        SectionComplete(section, tag);
    };
    viewer.OnStreamsEnded = [this] { StreamsEndedHandler(); };
    const int readTimeout =
        Settings->ReadInteger(SettingsSection, QStringLiteral("ReadTimeout"),
                              static_cast<int>(TViewerThread::DefaultReadTimeout.count()));
    viewer.SetReadTimeout(std::chrono::seconds(std::max(readTimeout, 0)));
    viewer.Start();
    ShowPage(PageConnecting);
}

void TFormMain::OnGameList(const QStringList& games) {
    if (games.isEmpty()) {
        ShowPage(PageConnecting);
        Connecting->MemoConsole->appendPlainText(QStringLiteral("No active streams"));
        return;
    }
    ReadClientPrefs();
    QComboBox* box = ViewOptions->ComboBoxGames;
    box->clear();
    box->addItems(games);
    ShowPage(PageViewOptions);
    if (SelectLinkGame(*box, LinkGame))
        ExecuteAction(ActionNext);
}

void TFormMain::NextFromViewOptions() {
    const QString game = ViewOptions->ComboBoxGames->currentText();
    if (!ViewerThread || game.isEmpty())
        return;
    const bool audioOnly = ViewOptions->CheckBoxAudioOnly->isChecked();
    StoreViewOptions();

    Viewing->ListViewStreams->clear();
    Viewing->LabelViewingStreams->setText(QStringLiteral("Waiting for streams to start..."));
    Viewing->NotebookViewing->setCurrentWidget(Viewing->PageWaiting);
    Viewing->ProgressBarBuffer->setMaximum(100);
    Viewing->ProgressBarBuffer->setValue(0);

    CurrentGame = game;
    ViewerThread->SetGameName(game.toStdString());
    StartSection = 0;
    ViewerThread->SetStartSection(StartSection);
    ViewerThread->SetAudioOnly(audioOnly);
    ViewerThread->SetViewerState(vsListSections);
}

void TFormMain::OnSectionList(const QStringList& sections) {
    SectionDescriptions = sections;
    if (sections.size() < 2) {
        // Nothing to pick: the cast is viewed from its start.
        ViewFromSection(0);
        return;
    }
    QTreeWidget* list = SectionPick->ListViewSections;
    list->clear();
    const std::vector<std::string> first = SplitCommaText(sections.first().toStdString());
    if (first.size() >= 3)
        list->setHeaderLabels({Field(first, 1), Field(first, 2)});
    for (const QString& line : sections) {
        const std::vector<std::string> fields = SplitCommaText(line.toStdString() + ",");
        const std::size_t pairs = (fields.size() - 1) / 2;
        SectionPick->AddSection(Field(fields, 0).toInt(), Field(fields, pairs + 1),
                                Field(fields, pairs + 2));
    }
    list->setCurrentItem(list->topLevelItem(0));
    list->scrollToItem(list->topLevelItem(0));
    ShowPage(PageSectionPick);
    list->resizeColumnToContents(1); // the wider of its entries and its header
    list->setFocus();
}

void TFormMain::RequestCast() {
    if (!ViewerThread)
        return;
    ViewerThread->SetStartSection(StartSection);
    ViewerThread->SetViewerState(vsRequest);
}

QLabel* TFormMain::LabelBuffer() const {
    return Viewing->LabelBuffer;
}

void TFormMain::OnProgress(int slot, int section, int type, int received, int length) {
    ShowPage(PageViewing);
    if (slot < 0)
        return;
    Viewing->NotebookViewing->setCurrentWidget(Viewing->PageDownloadingBuffer);
    Viewing->LabelViewingStreams->setText(QStringLiteral("Stream transfer in progress..."));

    QTreeWidget* streams = Viewing->ListViewStreams;
    const QList<QTreeWidgetItem*> rows =
        streams->findItems(QString::number(slot), Qt::MatchExactly, 0);
    QTreeWidgetItem* row =
        rows.isEmpty() ? new QTreeWidgetItem(streams, {QString::number(slot)}) : rows.first();
    row->setText(1, type == 0 ? QStringLiteral("Demo") : QStringLiteral("Audio (OGG)"));
    row->setText(2, QStringLiteral("%1 KB").arg(received / 1024));

    const auto kind = static_cast<std::size_t>(type == 0 ? 0 : 1);
    ProgressReceived[kind] = received;
    ProgressLength[kind] = length;

    QProgressBar* bar = Viewing->ProgressBarBuffer;
    const int intoBuffer = section - StartSection;
    if (intoBuffer < BufferSections) {
        LabelBuffer()->setText(QStringLiteral("Downloading Buffer Section ( %1 of %2 )")
                                   .arg(intoBuffer + 1)
                                   .arg(BufferSections));
        // Two streams announced empty have nothing to share out (and no quotient).
        const double total = double(ProgressLength[0]) + double(ProgressLength[1]);
        const double share =
            total > 0 ? (double(ProgressReceived[0]) + double(ProgressReceived[1])) / total : 0;
        bar->setMaximum(100);
        bar->setValue(static_cast<int>(std::lround(share * 100 / BufferSections)) +
                      intoBuffer * 33);
    } else {
        bar->setValue(bar->maximum());
        LabelBuffer()->setText(QStringLiteral("Downloading section..."));
    }
}
