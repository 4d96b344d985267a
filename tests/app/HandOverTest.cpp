#include "BuildTree.h"
#include "CastFixture.h"
#include "EventWait.h"
#include "FilmedCast.h"
#include "OfflineCastFiles.h"
#include "QtTestSupport.h"
#include "app/ClientHandOver.h"
#include "app/UnitFormMain.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesFilmer.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesStatus.h"
#include "app/pages/PagesViewer.h"
#include "playback/ArchiveExport.h"
#include "session/ViewingRun.h"

#include <QAbstractButton>
#include <QLocalSocket>
#include <QMessageBox>
#include <QProcess>

#include <algorithm>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int Deadline = 60000;

// A client started as the desktop starts one for a link or a file.
class SecondClient {
public:
    explicit SecondClient(
        const QStringList& arguments,
        const QProcessEnvironment& variables = QProcessEnvironment::systemEnvironment(),
        const QString& workingDirectory = {}) {
        Process.setProcessEnvironment(variables);
        Process.setWorkingDirectory(workingDirectory);
        Process.setProgram(QString::fromStdString(ClientProgram()));
        Process.setArguments(arguments);
        Process.start();
    }
    ~SecondClient() {
        if (Process.state() == QProcess::NotRunning)
            return;
        Process.kill();
        Process.waitForFinished();
    }
    bool Ended() const { return Process.state() == QProcess::NotRunning; }
    int Status() const {
        return Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
    }
    QString Errors() { return QString::fromLocal8Bit(Process.readAllStandardError()); }

    QProcess Process;
};

// The variables of a client installation of its own under `dir`.
QProcessEnvironment ClientVariables(const std::string& dir) {
    QProcessEnvironment vars = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, sub] : {std::pair{"XDG_CONFIG_HOME", "/config"},
                                    {"XDG_DATA_HOME", "/data"},
                                    {"NELQ_HOME", "/home"},
                                    {"WINEPREFIX", "/wine"}})
        vars.insert(name, QString::fromStdString(dir + sub));
    return vars;
}

// The hand-over socket of the clients that run with these variables.
QString SocketPathOf(const QProcessEnvironment& vars) {
    const QByteArray config = qgetenv("XDG_CONFIG_HOME"), home = qgetenv("NELQ_HOME");
    qputenv("XDG_CONFIG_HOME", vars.value("XDG_CONFIG_HOME").toLocal8Bit());
    qputenv("NELQ_HOME", vars.value("NELQ_HOME").toLocal8Bit());
    const QString path = HandOverSocketPath();
    qputenv("XDG_CONFIG_HOME", config);
    qputenv("NELQ_HOME", home);
    return path;
}

bool Accepts(const QString& socketPath) {
    QLocalSocket probe;
    probe.connectToServer(socketPath);
    return probe.waitForConnected(1000);
}

ino_t InodeOf(const QString& path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

// A socket file at `path` as a client leaves it: listening but never
// answering (hung), or not listening at all (crashed). Its socket stays open
// so that its file cannot be taken for the one that replaces it.
class PlantedSocket {
public:
    PlantedSocket(const QString& path, bool listening) : Fd(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(),
                    std::min<std::size_t>(name.size(), sizeof address.sun_path - 1));
        ::unlink(name.constData());
        EXPECT_EQ(::bind(Fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        if (listening) {
            EXPECT_EQ(::listen(Fd, 8), 0);
        }
        Inode = InodeOf(path);
    }
    ~PlantedSocket() { ::close(Fd); }

    const int Fd;
    ino_t Inode = 0;
};

class HandOver : public ::testing::Test {
protected:
    void SetUp() override {
        Env.InstallGame("valid.exe", PlaybackExecutableName);
        Form = Env.CreateForm();
        Listener = std::make_unique<TClientHandOver>(HandOverSocketPath());
        ASSERT_EQ(Listener->Start({}).Outcome, TClientHandOver::TOutcome::StartHere);
        ASSERT_TRUE(Listener->Listening());
        Listener->Take = [this](const TPendingRequest& request) {
            return Form->TakeHandedRequest(request);
        };
    }

    QString Console() const { return Form->Connecting->MemoConsole->toPlainText(); }

    ClientEnvironment Env;
    std::unique_ptr<TFormMain> Form;
    std::unique_ptr<TClientHandOver> Listener;
};

} // namespace

// The window takes what later clients are started with, one after the other,
// asking first whether the cast being watched may go.
TEST_F(HandOver, TheRunningWindowFollowsWhatLaterClientsAreStartedWith) {
    TCastServer server("127.0.0.241", Env.Dir / "casts");
    server.Film("Final Cast", TFilmedCast(Env.Dir / "filmed", {TSectionKind::StartPoint}).Parts());
    TCastFixture cast;
    StoreRecordingSections(cast, 0, 2);
    WriteCompletedList(cast.CastDirectory(), {0, 1, 2});
    const std::string archive = Env.Dir / "Downloads/my cast.qmx";
    std::filesystem::create_directories(Env.Dir / "Downloads");
    ExportCastArchive(cast.CastDirectory(), archive);
    const QString link = QStringLiteral("nelq://127.0.0.241/final cast/");

    const auto online = [&] {
        return Form->Into->ComboBoxViewHost->currentText() == "127.0.0.241" && Form->ViewRun() &&
               Form->ViewRun()->CurrentGame() == "Final Cast";
    };
    const auto offline = [&] {
        return Console().contains("Initialising Playback...") && Form->ViewRun() &&
               Form->ViewRun()->CurrentGame() == "ACTIVE";
    };
    TViewingRun* kept = nullptr;
    struct Case {
        const char* What;
        QStringList Arguments;
        QString Answer; // to the question whether to stop watching; empty: none may come
        std::function<bool()> Shows;
        QString WorkingDirectory = {};
    };
    const std::vector<Case> cases = {
        {"a link", {link}, {}, online},
        {"an archive, the cast kept", QString::fromStdString(archive).split(' '), "&No",
         [&] { return Form->ViewRun() == kept && online(); }},
        {"an archive named from its folder, the cast let go",
         {"Downloads/my", "cast.qmx"},
         "&Yes",
         offline,
         QString::fromStdString(Env.Dir.Path.string())},
        {"a link after an archive", {link}, "&Yes", online},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        kept = Form->ViewRun();
        Form->Connecting->MemoConsole->clear();
        QString asked;
        SecondClient second(c.Arguments, QProcessEnvironment::systemEnvironment(),
                            c.WorkingDirectory);
        HandleModals(
            [&] {
                PumpUntil(
                    [&] {
                        return second.Ended() && (c.Answer.isEmpty() || !asked.isEmpty()) &&
                               c.Shows();
                    },
                    Deadline);
            },
            [&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                ASSERT_NE(box, nullptr);
                asked = box->text();
                for (QAbstractButton* button : box->buttons())
                    if (button->text() == (c.Answer.isEmpty() ? "&Yes" : c.Answer))
                        button->click();
            });
        ASSERT_TRUE(second.Ended());
        EXPECT_EQ(second.Status(), 0);
        EXPECT_EQ(second.Errors(), "");
        EXPECT_EQ(asked.isEmpty(), c.Answer.isEmpty()) << asked.toStdString();
        EXPECT_TRUE(asked.isEmpty() || asked.startsWith("The cast is still playing."))
            << asked.toStdString();
        EXPECT_TRUE(c.Shows());
    }
}

// Filming is never broken off from outside: the later client is told why and fails.
TEST_F(HandOver, WhileFilmingLinksAndArchivesAreRefusedAndFilmingGoesOn) {
    if (qEnvironmentVariableIsEmpty("NELQ_TEST_AUDIO"))
        GTEST_SKIP() << "filming needs the private sound server of scripts/test-env";
    TCastServer server("127.0.0.242", Env.Dir / "casts");
    Form->SelectMode(WizardMode::Film);
    Form->Into->ComboBoxFilmHost->setEditText("127.0.0.242");
    Form->ExecuteAction(Form->ActionNext);
    ASSERT_EQ(Form->CurrentPage(), PageFilmOptions);
    Form->FilmOptions->EditGameName->setText("FINAL");
    Form->FilmOptions->EditPassword->setText("pw");
    std::filesystem::create_directories(Env.Dir / "recordings");
    Form->FilmOptions->EditDemoPathName->setText(QString::fromStdString(Env.Dir / "recordings/"));
    Form->ExecuteAction(Form->ActionNext);
    ASSERT_EVENTUALLY_EQ(Form->CurrentPage(), int(PageFilming), Deadline);
    TFilmController* const filming = Form->FilmRun();

    const std::string archive = Env.Dir / "cast.qmx";
    WriteAll(archive, "PK");
    const std::vector<std::pair<QString, QString>> cases = {
        {"nelq://127.0.0.242/FINAL/", "A link cannot be opened while filming; end filming first."},
        {QString::fromStdString(archive),
         "A cast archive cannot be opened while filming; end filming first."},
    };
    for (const auto& [argument, reason] : cases) {
        SecondClient second({argument});
        ASSERT_EVENTUALLY(second.Ended(), Deadline);
        EXPECT_EQ(second.Status(), 1) << argument.toStdString();
        EXPECT_EQ(second.Errors(), reason + "\n");
        EXPECT_TRUE(Console().endsWith(reason)) << Console().toStdString();
        EXPECT_EQ(Form->FilmRun(), filming);
        EXPECT_EQ(Form->CurrentPage(), PageFilming);
    }
    Form->StopAll();
}

// Whatever held the socket before, a client started with a link ends up
// listening, and the client after it hands over to it (or is told to wait
// while it is not ready); clients of other settings never reach each other.
TEST_F(HandOver, ALaterClientTakesOverWhatIsGoneAndNeverReachesOtherSettings) {
    int taken = 0;
    Listener->Take = [&](const TPendingRequest&) {
        ++taken;
        return std::optional<QString>();
    };
    const QProcessEnvironment same = ClientVariables(Env.Dir.Path.string());
    const QProcessEnvironment other = ClientVariables(Env.Dir / "other");
    const std::string otherGame = Env.Dir / "other/wine/drive_c/Dynamix/Tribes2/GameData/";
    std::filesystem::create_directories(otherGame);
    std::filesystem::copy_file(PeFixtureDirectory() + "/valid.exe",
                               otherGame + PlaybackExecutableName);
    const QString link = QStringLiteral("nelq://127.0.0.243/GAME/");
    struct Case {
        const char* What;
        QProcessEnvironment Variables;
        std::optional<bool> Planted; // a socket left there, listening or not
        int Status = 0;              // of the client after it
        QString Errors = {};
    };
    const std::vector<Case> cases = {
        // First, while this process still listens on its own settings' socket.
        {"a client of other settings", other, std::nullopt},
        {"a crashed client's socket", same, false},
        {"a client that no longer answers", same, true},
        // Its game not located, the link's Next shows an error box before the window is done.
        {"a client still starting", ClientVariables(Env.Dir / "unset"), std::nullopt, 1,
         "The running client is still starting; try again in a moment.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const QString socketPath = SocketPathOf(c.Variables);
        std::unique_ptr<PlantedSocket> planted;
        if (c.Planted)
            planted = std::make_unique<PlantedSocket>(socketPath, *c.Planted);
        const ino_t before = planted ? planted->Inode : 0;

        SecondClient second({link}, c.Variables);
        ASSERT_EVENTUALLY(InodeOf(socketPath) != before && Accepts(socketPath), Deadline);
        EXPECT_FALSE(second.Ended());

        SecondClient third({link}, c.Variables);
        ASSERT_EVENTUALLY(third.Ended(), Deadline);
        EXPECT_EQ(third.Status(), c.Status);
        EXPECT_EQ(third.Errors(), c.Errors);
    }
    EXPECT_EQ(taken, 0) << "a client of other settings reached this one";
}
