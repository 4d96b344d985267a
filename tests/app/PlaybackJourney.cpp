#include "PlaybackJourney.h"

#include "BuildTree.h"
#include "EventWait.h"
#include "app/UnitGameInstall.h"
#include "app/pages/PagesSetup.h"
#include "app/pages/PagesViewer.h"
#include "net/OpeningExchange.h"
#include "session/ViewingRun.h"

#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>

#include <fstream>

namespace {

TSectionParts Parts(const TCastSection& section) {
    return TSectionParts{section.Demo, section.BodyOffset, section.Audio};
}

} // namespace

bool PlaybackEndToEnd::WaitUntil(const std::function<bool()>& done) {
    return PumpUntil(done, Deadline);
}

QString PlaybackEndToEnd::Tools() {
    return QString::fromStdString(BuildTreePath("tools/"));
}

void PlaybackEndToEnd::SetUp() {
    if (qEnvironmentVariableIsEmpty("NELQ_TEST_AUDIO") || qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs the private display and sound server of scripts/test-env";
    InstallGame();
    if (HasFatalFailure())
        return;
    Form = Env.CreateForm();
    Form->show();
    // Any box that opens is answered and remembered, so the run never waits
    // on one.
    Boxes.setInterval(100);
    QObject::connect(&Boxes, &QTimer::timeout, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            BoxTexts << box->text();
            box->done(QMessageBox::Ok);
        }
    });
    Boxes.start();
}

void PlaybackEndToEnd::TearDown() {
    if (Form)
        Form->StopAll();
    if (Server.state() != QProcess::NotRunning) {
        Server.terminate();
        Server.waitForFinished(10000);
    }
}

void PlaybackEndToEnd::InstallGame() {
    Env.InstallGame("valid.exe", PlaybackExecutableName);
}

void PlaybackEndToEnd::UseLauncher(const QString& game) {
    const std::string script = Env.Dir / "launch.sh";
    std::ofstream(script) << "echo launched $$ >> '" << GameLog() << "'\n"
                          << "exec " << game.toStdString() << " \"$@\" >> '" << GameLog()
                          << "' 2>&1\n";
    Form->Settings().WriteString("Settings", "GameLauncher",
                                 QString::fromStdString("/bin/sh " + script));
}

QString PlaybackEndToEnd::GameLogText() const {
    return QString::fromStdString(ReadAll(GameLog()));
}

std::vector<pid_t> PlaybackEndToEnd::LaunchedGames() const {
    std::vector<pid_t> games;
    QRegularExpressionMatchIterator launches =
        QRegularExpression("^launched (\\d+)$", QRegularExpression::MultilineOption)
            .globalMatch(GameLogText());
    while (launches.hasNext())
        games.push_back(static_cast<pid_t>(launches.next().captured(1).toInt()));
    return games;
}

void PlaybackEndToEnd::StartServer(const std::string& address) {
    Address = address;
    Server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Server.start(Tools() + "nelq-server/nelq-server",
                 {"--bind", QString::fromStdString(address), "--data",
                  QString::fromStdString(Env.Dir / "casts")});
    ASSERT_TRUE(Server.waitForStarted(10000));
    // Ready once it takes a filmer.
    ASSERT_TRUE(WaitUntil([&] { return ConnectFilmer(); })) << "the server never listened";
}

bool PlaybackEndToEnd::ConnectFilmer() {
    Filmer = std::make_unique<TServerConnection>();
    try {
        return ConnectAs(*Filmer, Address, FilmerRole.Port, FilmerRole.RoleCode).Accepted &&
               FilmerLogin(*Filmer, "", "NEW", "PLAY").Accepted;
    } catch (const std::exception&) {
        return false;
    }
}

void PlaybackEndToEnd::Upload(std::int32_t section, const TCastSection& parts) {
    UploadSection(*Filmer, section, Parts(parts));
}

void PlaybackEndToEnd::Complete() {
    Filmer->WriteLine("COMPLETED");
    Filmer->WriteLine("HI"); // answered once everything before it was taken
    Filmer->ReadLine();
}

void PlaybackEndToEnd::View() {
    Form->Into->ComboBoxViewHost->setEditText(QString::fromStdString(Address));
    Form->SelectMode(WizardMode::ViewServer);
    Form->ExecuteAction(Form->ActionNext);
    ASSERT_TRUE(WaitUntil([&] { return Form->CurrentPage() == int(PageViewOptions); })) << State();
    Form->ViewOptions->CheckBoxAudioOnly->setChecked(false);
    Form->ExecuteAction(Form->ActionNext);
    ASSERT_TRUE(WaitUntil([&] {
        return Form->CurrentPage() == PageSectionPick || Form->CurrentPage() == PageViewing;
    })) << State();
    if (Form->CurrentPage() == PageSectionPick) {
        Form->SectionPick->RadioButtonPlayFromStart->setChecked(true);
        Form->ExecuteAction(Form->ActionNext);
    }
    ASSERT_TRUE(WaitUntil([&] { return Form->ViewRun() && Form->ViewRun()->Sync(); })) << State();
}

TPlaybackSync& PlaybackEndToEnd::Sync() {
    return *Form->ViewRun()->Sync();
}

std::string PlaybackEndToEnd::State() const {
    std::string state = "page " + std::to_string(Form->CurrentPage());
    if (TPlaybackSync* sync = Form->ViewRun() ? Form->ViewRun()->Sync() : nullptr)
        state += ", play section " + std::to_string(sync->PlaySection()) + ", paused " +
                 std::to_string(sync->Paused()) + ", launch pending " +
                 std::to_string(sync->GameLaunchPending()) + ", last completed " +
                 std::to_string(Form->ViewRun()->Assembly().LastCompletedSection()) + ", heard " +
                 std::to_string(sync->HeardAudioTime()) + " ms, decoding " +
                 std::to_string(sync->Player().DecodeSection()) + ", device playing " +
                 std::to_string(sync->Player().WaveOut()->Playing());
    return state + "\naudiosync.txt: " + AudioSync() + "\ngame log:\n" +
           GameLogText().toStdString();
}

std::string PlaybackEndToEnd::AudioSync() const {
    return ReadAll(Form->GameDirectory().toStdString() + "NELQ/audiosync.txt");
}
