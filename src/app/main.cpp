#include "app/ClientHandOver.h"
#include "app/UnitFormAbout.h"
#include "app/UnitFormFolderSelect.h"
#include "app/UnitFormMain.h"
#include "app/UnitLinks.h"
#include "app/UnitMessageBoxes.h"
#include "platform/ExitWithoutTeardown.h"

#include <QApplication>

#include <cstdio>

namespace {

int RunWindow(TClientHandOver& handOver) {
    TFormMain formMain;
    handOver.Take = [&formMain](const TPendingRequest& request) {
        return formMain.TakeHandedRequest(request);
    };
    TFormAbout formAbout(&formMain);
    TFormFolderSelect formFolderSelect(&formMain);
    formMain.SetDialogs(&formAbout, &formFolderSelect);
    formMain.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    // Answered before Qt starts, so that they need no display. A text that
    // could not be written whole is a failure (a full disk).
    if (const auto info = CommandLineInfo({argv + 1, argv + argc}))
        return std::fputs(info->c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;

    int status = 0;
    {
        QApplication application(argc, argv);
        QApplication::setApplicationName(ApplicationTitle);

        // A link or archive goes to the client already running with these settings.
        TClientHandOver handOver(HandOverSocketPath());
        const TClientHandOver::TResult handed = handOver.Start(PendingRequestFromCommandLine());
        switch (handed.Outcome) {
        case TClientHandOver::TOutcome::StartHere:
            status = RunWindow(handOver);
            break;
        case TClientHandOver::TOutcome::HandedOver:
            break;
        case TClientHandOver::TOutcome::Refused:
            std::fprintf(stderr, "%s\n", handed.Reason.toLocal8Bit().constData());
            status = 1;
            break;
        }
    }
    // Every window, thread and file of ours is closed by now.
    ExitWithoutTeardown(status);
}
