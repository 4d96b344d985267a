#include "QtTestSupport.h"

#include "app/UnitFormMain.h"
#include "BuildTree.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <cstdlib>

void EnsureApplication() {
    if (QApplication::instance())
        return;
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "test_app_window";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

void HandleModals(const std::function<void()>& trigger,
                  const std::function<void(QWidget*)>& respond) {
    QList<QPointer<QWidget>> handled;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || handled.contains(modal))
            return;
        handled << modal;
        respond(modal);
    });
    poll.start();
    trigger();
    poll.stop();
}

QString AnswerMessageBox(const std::function<void()>& trigger, const QString& answer) {
    QString text;
    HandleModals(trigger, [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return;
        text = box->windowTitle() + QStringLiteral("|") + box->text();
        for (QAbstractButton* button : box->buttons())
            if (button->text() == answer)
                button->click();
    });
    return text;
}

ClientEnvironment::ClientEnvironment() {
    EnsureApplication();
    setenv("XDG_CONFIG_HOME", (Dir / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (Dir / "data").c_str(), 1); // the link handler's entry
    setenv("NELQ_HOME", (Dir / "home").c_str(), 1);
    setenv("WINEPREFIX", (Dir / "wine").c_str(), 1);
    std::filesystem::create_directories(GameDirectory());
    // Where Wine is installed the default launcher would boot a real Wine in
    // the scratch prefix, whose helpers outlive the test; a test that wants a
    // game names its own launcher.
    std::filesystem::create_directories(Dir / "config/NELQ");
    WriteAll(SettingsFile(), "[Settings]\nGameLauncher=true\n");
}

ClientEnvironment::~ClientEnvironment() {
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
    unsetenv("NELQ_HOME");
    unsetenv("WINEPREFIX");
}

std::string ClientEnvironment::GameDirectory() const {
    return Dir / "wine/drive_c/Dynamix/Tribes2/GameData/";
}

void ClientEnvironment::InstallGame(const std::string& fixture, const std::string& name) {
    std::filesystem::copy_file(PeFixtureDirectory() + "/" + fixture,
                               GameDirectory() + name,
                               std::filesystem::copy_options::overwrite_existing);
}

std::string ClientEnvironment::SettingsFile() const {
    return Dir / "config/NELQ/NELQ.ini";
}

std::unique_ptr<TFormMain> ClientEnvironment::CreateForm() {
    return std::make_unique<TFormMain>();
}
