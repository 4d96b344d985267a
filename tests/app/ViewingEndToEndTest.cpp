// A link from the command line to rebuilt recordings, with the casting server
// and the client as separate programs on the test display.

#include "FilmedCast.h"
#include "ProcessCheck.h"
#include "EventWait.h"
#include "QtTestSupport.h"
#include "TestSupport.h"
#include "app/UnitGameInstall.h"
#include "BuildTree.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTest>

// Last: Xlib's macros clash with the names of other headers.
#include <X11/Xlib.h>

namespace {

const QString Address = QStringLiteral("127.0.0.160");
constexpr int Deadline = 90000;

class Program {
public:
    Program(const QString& path, const QStringList& arguments,
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        Process.setProcessEnvironment(environment);
        Process.setProcessChannelMode(QProcess::ForwardedChannels);
        Process.start(path, arguments);
        EXPECT_TRUE(Process.waitForStarted(10000)) << path.toStdString();
    }
    ~Program() {
        Process.terminate();
        if (!Process.waitForFinished(10000))
            Process.kill();
        Process.waitForFinished(10000);
    }
    bool Running() const { return Process.state() == QProcess::Running; }

private:
    QProcess Process;
};

// The client with the scratch installation, as a browser would start it for a link.
QProcessEnvironment ClientEnvironmentOf(const ClientEnvironment& env) {
    QProcessEnvironment vars = QProcessEnvironment::systemEnvironment();
    vars.insert("QT_QPA_PLATFORM", "xcb");
    vars.insert("NELQ_HOME", QString::fromStdString(env.Dir / "home"));
    vars.insert("XDG_CONFIG_HOME", QString::fromStdString(env.Dir / "config"));
    vars.insert("XDG_DATA_HOME", QString::fromStdString(env.Dir / "data"));
    vars.insert("WINEPREFIX", QString::fromStdString(env.Dir / "wine"));
    return vars;
}

// Asks the top-level window titled `title` to close, as a window manager's
// close button does; false when there is no such window.
bool RequestClose(const char* title) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i) {
            char* name = nullptr;
            if (XFetchName(display, children[i], &name) && name) {
                if (std::string(name) == title)
                    found = children[i];
                XFree(name);
            }
        }
        XFree(children);
    }
    if (found) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = found;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] =
            static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, found, False, NoEventMask, &event);
        XFlush(display);
    }
    XCloseDisplay(display);
    return found != 0;
}

bool RecordingFinished(const std::string& path, std::size_t headSize) {
    return std::filesystem::exists(path) &&
           InflateWithPython(path, static_cast<std::int64_t>(headSize)).Complete;
}

TEST(ViewingEndToEnd, ALinkDownloadsTheCastAndRebuildsItsRecordings) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display (scripts/test provides one)";
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    const Program server(QString::fromStdString(ServerProgram()),
                         {"--bind", Address, "--data", QString::fromStdString(env.Dir / "casts")});
    // One start point: the link goes from the games to the download without a pick.
    const TFilmedCast cast(env.Dir / "filmed", {TSectionKind::StartPoint, TSectionKind::Body,
                                                TSectionKind::Body, TSectionKind::Body});
    FilmCast(Address.toStdString(), "GAME", cast.Parts());

    const Program client(QString::fromStdString(ClientProgram()),
                         {"nelq://" + Address + "/game/"}, ClientEnvironmentOf(env));
    const std::string completed = env.Dir / "home/streams/GAME/completed.dat";
    const std::string rebuilt = env.GameDirectory() + "NELQ/recordings/nelqdemo0.rec";
    const std::size_t headSize = cast.Sections[0].Head.size();
    ASSERT_EVENTUALLY(client.Running() && ReadAll(completed) == cast.CompletedList(0, 3) &&
                                 RecordingFinished(rebuilt, headSize), Deadline);
    ExpectRebuiltRecording(rebuilt, cast.Sections[0].Head, cast.PacketsOf(0, 3));
    EXPECT_TRUE(ReadAll(env.Dir / "home/streams/GAME/audio_3.ogg") == cast.Sections[3].Parts.Audio);
}

TEST(ViewingEndToEnd, ClosingTheClientEndsTheGameItStarted) {
    if (qEnvironmentVariableIsEmpty("NELQ_TEST_AUDIO") || qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs the private display and sound server of scripts/test-env";
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    // A game that never opens a window and never quits by itself.
    const std::string game = env.Dir / "game.sh";
    const std::string gamePid = env.Dir / "game.pid";
    WriteAll(game, "echo $$ > '" + gamePid + ".tmp'; mv '" + gamePid + ".tmp' '" + gamePid +
                       "'\nexec sleep 300\n");
    QSettings(QString::fromStdString(env.SettingsFile()), QSettings::IniFormat)
        .setValue("Settings/GameLauncher", QString::fromStdString("/bin/sh " + game));
    const QString address = QStringLiteral("127.0.0.161");
    const Program server(QString::fromStdString(ServerProgram()),
                         {"--bind", address, "--data", QString::fromStdString(env.Dir / "casts")});
    const TFilmedCast cast(env.Dir / "filmed", {TSectionKind::StartPoint, TSectionKind::Body,
                                                TSectionKind::Body, TSectionKind::Body});
    FilmCast(address.toStdString(), "GAME", cast.Parts());

    const Program client(QString::fromStdString(ClientProgram()),
                         {"nelq://" + address + "/game/"}, ClientEnvironmentOf(env));
    ASSERT_EVENTUALLY(std::filesystem::exists(gamePid), Deadline);
    const auto gameProcess = static_cast<pid_t>(std::stoi(ReadAll(gamePid)));
    EXPECT_FALSE(ProcessEnded(gameProcess));
    ASSERT_TRUE(RequestClose("NELQ Client"));
    ASSERT_EVENTUALLY(!client.Running(), Deadline);
    EXPECT_TRUE(ProcessEnded(gameProcess));
}

} // namespace

// The server's page in a real browser: a live and a finished cast with their
// Watch links, and the finished one's archive saved by a click, which the
// client then plays with the game stand-in as the cast viewed online.
TEST(ViewingEndToEnd, TheServersPageInABrowserListsTheCastsAndItsDownloadPlays) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display (scripts/test provides one)";
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    const QString address = QStringLiteral("127.0.0.161");
    const Program server(QString::fromStdString(ServerProgram()),
                         {"--bind", address, "--http-port", "28081", "--data",
                          QString::fromStdString(env.Dir / "casts")});
    const TFilmedCast cast(env.Dir / "filmed",
                           {TSectionKind::StartPoint, TSectionKind::Body, TSectionKind::Body});
    FilmCast(address.toStdString(), "FINAL", cast.Parts());
    FilmCast(address.toStdString(), "LIVE", {cast.Parts()[0]}, false);

    const std::string downloads = env.Dir / "downloads";
    std::filesystem::create_directories(downloads);
    QStringList arguments = {QString::fromStdString(BuildTreePath("tests/app/browse_casts.py")),
                             "http://" + address + ":28081/", QString::fromStdString(downloads),
                             "FINAL"};
    // scripts/screenshots shows the page in the README.
    if (const QString pictures = qEnvironmentVariable("NELQ_SCREENSHOTS"); !pictures.isEmpty())
        arguments << pictures + "/web-page.png";
    QProcess browser;
    browser.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    browser.start("/usr/bin/python3", arguments);
    ASSERT_TRUE(browser.waitForFinished(Deadline));
    ASSERT_EQ(browser.exitCode(), 0) << "python3-selenium, chromium and chromium-driver are needed";
    const QJsonObject page = QJsonDocument::fromJson(browser.readAllStandardOutput()).object();
    const QJsonArray rows = page["rows"].toArray();
    ASSERT_EQ(rows.size(), 2);
    const std::pair<const char*, const char*> expected[] = {{"LIVE", "live"}, {"FINAL", "finished"}};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject row = rows[i].toObject();
        EXPECT_EQ(row["game"].toString(), expected[i].first);
        EXPECT_EQ(row["state"].toString(), expected[i].second);
        EXPECT_EQ(row["watch"].toString(),
                  "nelq://127.0.0.161/" + QString(expected[i].first) + "/");
    }

    // The client handed the saved archive, as a browser's "open" does.
    const std::string archive = page["downloaded"].toString().toStdString();
    ASSERT_TRUE(std::filesystem::exists(archive)) << archive;
    QSettings(QString::fromStdString(env.SettingsFile()), QSettings::IniFormat)
        .setValue("Settings/GameLauncher", QString::fromStdString(StandinProgram()));
    const Program client(QString::fromStdString(ClientProgram()),
                         {QString::fromStdString(archive)}, ClientEnvironmentOf(env));
    const std::string rebuilt = env.GameDirectory() + "NELQ/recordings/nelqdemo0.rec";
    const std::size_t headSize = cast.Sections[0].Head.size();
    ASSERT_EVENTUALLY(client.Running() && RecordingFinished(rebuilt, headSize), Deadline);
    ExpectRebuiltRecording(rebuilt, cast.Sections[0].Head, cast.PacketsOf(0, 2));
}
