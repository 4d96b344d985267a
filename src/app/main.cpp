#include "app/UnitFormAbout.h"
#include "app/UnitFormFolderSelect.h"
#include "app/UnitFormMain.h"
#include "app/UnitMessageBoxes.h"
#include "platform/ExitWithoutTeardown.h"

#include <QApplication>

int main(int argc, char* argv[]) {
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
