// The main window's side of assembling a viewed cast: the assembler does the
// work; the window starts its runs, hands it the sections and shows what it
// reports.

#include "app/UnitFormMain.h"

#include "app/UnitMessageBoxes.h"
#include "app/pages/PagesViewer.h"
#include "net/UnitViewerThread.h"

#include <QFile>

#include <exception>

void TFormMain::ConnectAssembly() {
    Assembly.StartPlayback = [this](std::int32_t section) { StartPlayback(section); };
    Assembly.ShowBufferLabel = [this](const std::string& text) {
        LabelBuffer()->setText(QString::fromStdString(text));
    };
    Assembly.ReportNothingToPlay = [this](const std::string& message) {
        ReportNothingToPlay(QString::fromStdString(message));
    };
    Assembly.ReportSectionFailure = [this](const std::string& message) {
        OnStatus(QString::fromStdString(message));
    };
}

void TFormMain::ViewFromSection(int section) {
    // The list of an earlier run would be extended with the same sections again.
    QFile::remove(CastDirectory() + QStringLiteral("completed.dat"));
    ShowPage(PageViewing);
    StartSection = section;

    TAssemblySettings settings;
    settings.CastDirectory = CastDirectory().toStdString();
    settings.GameDirectory = GameDirectory.toStdString();
    settings.StartSection = section;
    settings.AudioOnly = ViewOptions->CheckBoxAudioOnly->isChecked();
    settings.Online = ViewerThread != nullptr;
    Assembly.BeginRun(settings);
    RequestCast();
}

void TFormMain::SectionComplete(int section, int tag) {
    ProgressReceived = {};
    ProgressLength = {};
    Assembly.SectionComplete(section, tag);
}

void TFormMain::StreamsEndedHandler() {
    Assembly.StreamsEndedHandler();
}

void TFormMain::ReportNothingToPlay(const QString& message) {
    // The report arrives inside the viewer thread's synchronised call; a modal
    // box there would hold the thread, and a tear-down waiting for it, until
    // the box is closed. It opens once the call has returned.
    QMetaObject::invokeMethod(
        this, [this, message] { ShowErrorBox(this, message); }, Qt::QueuedConnection);
}

void TFormMain::FinishAssembly() {
    try {
        Assembly.Finish();
    } catch (const std::exception& error) {
        ShowErrorBox(this, QString::fromUtf8(error.what()));
    }
}
