#include "app/ViewingPages.h"

#include "app/UnitFormMain.h"
#include "app/UnitMessageBoxes.h"
#include "app/pages/PagesStatus.h"
#include "app/pages/PagesViewer.h"

namespace {

QStringList ToQStrings(const std::vector<std::string>& lines) {
    QStringList list;
    for (const std::string& line : lines)
        list << QString::fromStdString(line);
    return list;
}

} // namespace

void TViewingPages::ShowConnecting() {
    Form.ShowPage(PageConnecting);
}

void TViewingPages::ShowStatus(const std::string& line) {
    Form.OnStatus(QString::fromStdString(line));
}

void TViewingPages::ShowEnding(const TEnding& ending) {
    if (!ending.Line.empty())
        Form.OnStatus(QString::fromStdString(ending.Line));
    Form.Connecting->ShowCaption(QString::fromStdString(ending.Caption));
}

void TViewingPages::ShowPlayback(const std::string& line) {
    const QString text = QString::fromStdString(line);
    for (QLabel* label : {Form.Connecting->LabelPlayback, Form.Viewing->LabelPlayback,
                          Form.OfflineViewing->LabelPlayback}) {
        label->setText(text);
        label->setVisible(!text.isEmpty());
    }
}

void TViewingPages::ShowLogin() {
    Form.ShowPage(PageAuthView);
}

void TViewingPages::ShowGames(const std::vector<std::string>& games) {
    Form.OnGameList(ToQStrings(games));
}

void TViewingPages::ShowSectionPick(const std::vector<std::string>& sections) {
    QTreeWidget* list = Form.SectionPick->ListViewSections;
    Form.SectionPick->ShowSections(ToQStrings(sections));
    Form.ShowPage(PageSectionPick);
    list->setFocus();
}

void TViewingPages::ShowViewing() {
    if (Form.CurrentPage() != PageViewing)
        Form.ShowPage(PageViewing);
}

void TViewingPages::ShowDownload(const TDownloadProgress& progress) {
    Form.Viewing->ShowDownload(progress);
}

void TViewingPages::ShowBufferLabel(const std::string& text) {
    Form.Viewing->LabelBuffer->setText(QString::fromStdString(text));
}

void TViewingPages::ShowPaused(bool paused) {
    Form.Viewing->PanelPaused->setVisible(paused);
}

void TViewingPages::ShowError(const std::string& message) {
    // Reported from inside a step of the run (a synchronised call of the
    // viewer thread, a playback tick): a modal box there would hold the step,
    // and a tear-down waiting for it, until the box is closed.
    const QString text = QString::fromStdString(message);
    QMetaObject::invokeMethod(
        &Form, [form = &Form, text] { ShowErrorBox(form, text); }, Qt::QueuedConnection);
}

void TViewingPages::ShowReplay(int replayed, int total) {
    // The page comes forward as the replay begins; a section reported on the
    // console meanwhile stays in view.
    if (replayed <= 1)
        Form.ShowPage(PageOfflineViewing);
    QProgressBar* bar = Form.OfflineViewing->ProgressBarExtract;
    bar->setRange(1, total);
    bar->setValue(replayed);
}
