#include "app/UnitFormAbout.h"
#include "app/UnitFormFolderSelect.h"
#include "app/UnitFormMain.h"
#include "app/UnitLinks.h"
#include "app/UnitMessageBoxes.h"
#include "platform/ExitWithoutTeardown.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    // Answered before Qt starts, so that they need no display. A text that
    // that could not be written whole is a failure (a full disk).
    if (const auto info = CommandLineInfo({argv + 1, argv + argc}))
        return std::fputs(info->c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;

    int status = 0;
    {
        QApplication application(argc, argv);
        QApplication::setApplicationName(ApplicationTitle);

        TFormMain formMain;
        TFormAbout formAbout(&formMain);
        TFormFolderSelect formFolderSelect(&formMain);
        formMain.SetDialogs(&formAbout, &formFolderSelect);
        formMain.show();
        status = QApplication::exec();
    }
    // Every window, thread and file of ours is closed by now.
    ExitWithoutTeardown(status);
}
