#include "QtTestSupport.h"
#include "app/ConfiguredGameStarter.h"
#include "app/UnitFormMain.h"
#include "app/UnitLinkGame.h"
#include "app/pages/PagesViewer.h"

#include <QScopeGuard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

#include <cstdlib>

namespace {

// A program that stands in for the launcher: it writes its working directory
// and its arguments, one per line, to the file named by its first argument.
std::string WriteRecordingLauncher(const ScratchDir& dir, const std::string& name) {
    const std::string path = dir / name;
    WriteAll(path, "#!/bin/sh\n"
                   "out=\"$1\"; shift\n"
                   "{ pwd -P; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$out.tmp\"\n"
                   "mv \"$out.tmp\" \"$out\"\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

// Waits (serving events) until the file appears; its text, empty on timeout.
std::string WaitForFile(const std::string& path) {
    QDeadlineTimer deadline(30000);
    while (!std::filesystem::exists(path) && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    return ReadAll(path);
}

std::string Canonical(const std::string& directory) {
    return std::filesystem::canonical(directory).string();
}

} // namespace

TEST(GameLaunch, TheLauncherRunsThePlaybackExecutableInTheGameDirectory) {
    ClientEnvironment env;
    auto form = env.CreateForm();
    const std::string launcher = WriteRecordingLauncher(env.Dir, "launcher dir/record args");
    const std::string record = env.Dir / "args.txt";
    form->Settings().WriteString(SettingsSection, "GameLauncher",
                                QString::fromStdString("'" + launcher + "' \"" + record + "\" -v"));
    WriteAll(env.GameDirectory() + "NELQ/demoprog.txt", "5000\r\n");

    // The launch's state (pending, check count, last position) is playback
    // synchronisation's, tested with it.
    ConfiguredGameStarter games(env.GameDirectory(), form->Settings());
    games.Launch(3);
    EXPECT_FALSE(std::filesystem::exists(env.GameDirectory() + "NELQ/demoprog.txt"));
    EXPECT_NE(ReadAll(env.GameDirectory() + "NELQ/scripts/TrainingGui.cs")
                  .find("\r\n%file = \"recordings/nelqdemo3.rec\";\r\n"),
              std::string::npos);

    EXPECT_EQ(WaitForFile(record), Canonical(env.GameDirectory()) + "\n-v\n" + env.GameDirectory() +
                                       "Tribes2DemoPlayback.exe\n-nologin\n-mod\nNELQ\n");
}

TEST(GameLaunch, WithoutALauncherTheScriptsAreWrittenAndNothingStarts) {
    ClientEnvironment env;
    auto form = env.CreateForm();
    form->Settings().WriteString(SettingsSection, "GameLauncher", "");
    ConfiguredGameStarter games(env.GameDirectory(), form->Settings());
    EXPECT_NO_THROW(games.Launch(0));
    EXPECT_TRUE(std::filesystem::exists(env.GameDirectory() + "NELQ/scripts/recordings.cs"));

    // A launcher with an open quote is a clear error, not a silent failure.
    form->Settings().WriteString(SettingsSection, "GameLauncher", "\"wine");
    EXPECT_THROW(games.Launch(0), std::invalid_argument);
}

TEST(GameLaunch, WineOnThePathIsTheLauncherWhenNoneIsSet) {
    ClientEnvironment env;
    std::filesystem::remove(env.SettingsFile()); // no launcher set
    const std::string savedPath = std::getenv("PATH");
    const std::string recorder = WriteRecordingLauncher(env.Dir, "bin/record-wine");
    const std::string record = env.Dir / "wine-args.txt";
    WriteAll(env.Dir / "bin/wine", "#!/bin/sh\nexec '" + recorder + "' '" + record + "' \"$@\"\n");
    std::filesystem::permissions(env.Dir / "bin/wine", std::filesystem::perms::owner_all);
    setenv("PATH", (env.Dir / "bin:" + savedPath).c_str(), 1);

    auto form = env.CreateForm();
    ConfiguredGameStarter games(env.GameDirectory(), form->Settings());
    games.Launch(1);
    const std::string started = WaitForFile(record);
    setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(started, Canonical(env.GameDirectory()) + "\n" + env.GameDirectory() +
                           "Tribes2DemoPlayback.exe\n-nologin\n-mod\nNELQ\n");
}

TEST(ViewOptions, NextKeepsTheChoicesInThePreferenceFileAndTheSettings) {
    ClientEnvironment env;
    auto form = env.CreateForm();
    TPageViewOptions& page = *form->ViewOptions;
    page.CheckBoxTribesWindowed->setChecked(true);
    page.ComboBoxVideoMode->setCurrentText("1024 768 32");
    page.TrackBarTribesVolume->setValue(7);
    page.CheckBoxAudioOnly->setChecked(true);
    page.StoreViewOptions(form->GameDirectory(), form->Settings());
    EXPECT_EQ(ReadAll(env.GameDirectory() + "NELQ/prefs/ClientPrefs.cs"),
              "$pref::Video::fullScreen = \"0\";\r\n"
              "$pref::Video::resolution = \"1024 768 32\";\r\n"
              "$pref::Audio::masterVolume = \"0.70\";\r\n"
              "$pref::Audio::musicEnabled = \"0\";\r\n");
    EXPECT_TRUE(form->Settings().ReadBool(SettingsSection, "AudioOnly", false));

    // Read back into a fresh page, as when the server's games arrive.
    auto next = env.CreateForm();
    next->ViewOptions->ReadClientPrefs(next->GameDirectory());
    EXPECT_TRUE(next->ViewOptions->CheckBoxTribesWindowed->isChecked());
    EXPECT_EQ(next->ViewOptions->ComboBoxVideoMode->currentText(), "1024 768 32");
    EXPECT_EQ(next->ViewOptions->TrackBarTribesVolume->value(), 7);
    next->ShowPage(PageViewOptions);
    EXPECT_TRUE(next->ViewOptions->CheckBoxAudioOnly->isChecked());
}

TEST(ViewOptions, NextWithoutARunningViewerKeepsNothing) {
    ClientEnvironment env;
    auto form = env.CreateForm();
    form->ViewOptions->ComboBoxGames->addItem("CTF FINAL");
    form->ShowPage(PageViewOptions);
    form->ExecuteAction(form->ActionNext);
    EXPECT_FALSE(std::filesystem::exists(env.GameDirectory() + "NELQ/prefs"));
    EXPECT_EQ(form->CurrentPage(), PageViewOptions);
}

TEST(Links, TheLinkedGameIsSelectedOrElseTheFirst) {
    EnsureApplication();
    QComboBox games;
    games.addItems({"DUEL", "Ctf Final", "ARENA"});
    games.setCurrentIndex(2);
    EXPECT_TRUE(SelectLinkGame(games, "CTF FINAL"));
    EXPECT_EQ(games.currentText(), "Ctf Final");
    EXPECT_FALSE(SelectLinkGame(games, "MATCH"));
    EXPECT_EQ(games.currentIndex(), 0);
    EXPECT_FALSE(SelectLinkGame(games, ""));
    EXPECT_EQ(games.currentIndex(), 0);

    QComboBox none;
    EXPECT_FALSE(SelectLinkGame(none, "DUEL"));
    EXPECT_EQ(none.currentIndex(), -1);
}

TEST(LinkProtocol, TheWindowRegistersTheRunningClientOnce) {
    ClientEnvironment env;
    if (std::system("command -v xdg-mime >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdg-mime (package xdg-utils) is needed";
    unsetenv("XDG_CURRENT_DESKTOP");
    // Nor a handler a package installed on this machine.
    const std::optional<QByteArray> systemData =
        qEnvironmentVariableIsSet("XDG_DATA_DIRS") ? std::optional(qgetenv("XDG_DATA_DIRS"))
                                                   : std::nullopt;
    const auto restore = qScopeGuard(
        [&] { systemData ? qputenv("XDG_DATA_DIRS", *systemData) : qunsetenv("XDG_DATA_DIRS"); });
    setenv("XDG_DATA_DIRS", (env.Dir / "system-data").c_str(), 1);
    auto form = env.CreateForm();
    const std::string entry = ReadAll(env.Dir / "data/applications/nelq-client.desktop");
    EXPECT_NE(
        entry.find("Exec=\"" + QCoreApplication::applicationFilePath().toStdString() + "\" %u"),
        std::string::npos)
        << entry;
    form.reset();
    // Another copy of the client registered itself: that registration stays.
    const std::string other = "[Desktop Entry]\nType=Application\nName=Other copy\n"
                              "Exec=/opt/other/nelq-client %u\nMimeType=x-scheme-handler/nelq;\n";
    WriteAll(env.Dir / "data/applications/nelq-client.desktop", other);
    auto again = env.CreateForm();
    EXPECT_EQ(ReadAll(env.Dir / "data/applications/nelq-client.desktop"), other);
}
