#include "app/UnitFormAbout.h"
#include "app/UnitFormFolderSelect.h"
#include "app/UnitFormMain.h"
#include "app/UnitMessageBoxes.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(ApplicationTitle);

    TFormMain formMain;
    TFormAbout formAbout(&formMain);
    TFormFolderSelect formFolderSelect(&formMain);
    formMain.FormAbout = &formAbout;
    formMain.FormFolderSelect = &formFolderSelect;
    formMain.show();
    return QApplication::exec();
}
