// A link from the command line to rebuilt recordings, with the casting server
// and the client as separate programs on the test display.

#include "FilmedCast.h"
#include "QtTestSupport.h"
#include "TestSupport.h"
#include "app/UnitGameInstall.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

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

bool RecordingFinished(const std::string& path, std::size_t headSize) {
    return std::filesystem::exists(path) &&
           InflateWithPython(path, static_cast<std::int64_t>(headSize)).Complete;
}

TEST(ViewingEndToEnd, ALinkDownloadsTheCastAndRebuildsItsRecordings) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display (scripts/test provides one)";
    ClientEnvironment env;
    env.InstallGame("valid.exe", PlaybackExecutableName);
    const Program server(QStringLiteral(NELQ_BINARY_DIR "/tools/nelq-server/nelq-server"),
                         {"--bind", Address, "--data", QString::fromStdString(env.Dir / "casts")});
    // One start point: the link goes from the games to the download without a pick.
    const TFilmedCast cast(env.Dir / "filmed", {TSectionKind::StartPoint, TSectionKind::Body,
                                                TSectionKind::Body, TSectionKind::Body});
    FilmCast(Address.toStdString(), "GAME", cast.Parts());

    const Program client(QStringLiteral(NELQ_BINARY_DIR "/src/app/nelq-client"),
                         {"nelq://" + Address + "/game/"}, ClientEnvironmentOf(env));
    const std::string completed = env.Dir / "home/streams/GAME/completed.dat";
    const std::string rebuilt = env.GameDirectory() + "NELQ/recordings/nelqdemo0.rec";
    const std::size_t headSize = cast.Sections[0].Head.size();
    QTRY_VERIFY_WITH_TIMEOUT(client.Running() && ReadAll(completed) == cast.CompletedList(0, 3) &&
                                 RecordingFinished(rebuilt, headSize),
                             Deadline);
    ExpectRebuiltRecording(rebuilt, cast.Sections[0].Head, cast.PacketsOf(0, 3));
    EXPECT_TRUE(ReadAll(env.Dir / "home/streams/GAME/audio_3.ogg") == cast.Sections[3].Parts.Audio);
}

} // namespace
