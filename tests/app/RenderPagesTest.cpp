#include "QtTestSupport.h"
#include "app/UnitFormAbout.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

// Renders every page to build/pages/*.png so that a person can look at them.
TEST(RenderPages, EveryPageRendersAtTheWindowsSize) {
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    auto form = env.CreateForm();
    form->show();
    const QString out = QStringLiteral(NELQ_BINARY_DIR "/pages");
    QDir().mkpath(out);
    for (int page = 0; page < PageCount; ++page) {
        form->ShowPage(page);
        const QPixmap shot = form->grab();
        EXPECT_EQ(shot.size(), QSize(523, 375)) << page;
        const QString name = form->NotebookMain->widget(page)->objectName().replace(' ', '-');
        EXPECT_TRUE(shot.save(QStringLiteral("%1/page-%2-%3.png").arg(out).arg(page).arg(name)))
            << page;
    }
    TFormAbout about;
    about.show();
    QApplication::processEvents(); // the texts set on showing are laid out
    EXPECT_TRUE(about.LabelVersion->text() == "Version: 1.0.0.47");
    EXPECT_TRUE(about.grab().save(out + QStringLiteral("/about.png")));
}
