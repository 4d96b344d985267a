#include "QtTestSupport.h"
#include "BuildTree.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

namespace {

// Starts the real client with the scratch installation, on the given Qt platform.
std::unique_ptr<QProcess> StartClient(const ClientEnvironment& env, const QString& platform) {
    auto client = std::make_unique<QProcess>();
    QProcessEnvironment vars = QProcessEnvironment::systemEnvironment();
    vars.insert("QT_QPA_PLATFORM", platform);
    vars.insert("NELQ_HOME", QString::fromStdString(env.Dir / "home"));
    vars.insert("XDG_CONFIG_HOME", QString::fromStdString(env.Dir / "config"));
    vars.insert("XDG_DATA_HOME", QString::fromStdString(env.Dir / "data"));
    vars.insert("WINEPREFIX", QString::fromStdString(env.Dir / "wine"));
    client->setProcessEnvironment(vars);
    client->setProcessChannelMode(QProcess::ForwardedChannels);
    client->start(QString::fromStdString(ClientProgram()), {});
    return client;
}

// The X11 top-level windows of the display, one per line, as xwininfo lists them.
QString WindowTree() {
    QProcess xwininfo;
    xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    xwininfo.waitForFinished(5000);
    return QString::fromLocal8Bit(xwininfo.readAllStandardOutput());
}

void Stop(QProcess& client) {
    client.terminate();
    if (!client.waitForFinished(5000))
        client.kill();
    client.waitForFinished(5000);
}

} // namespace

TEST(ClientStart, TheClientRunsOffscreenAndShowsItsWindowOnAnXDisplay) {
    ClientEnvironment env;
    auto offscreen = StartClient(env, QStringLiteral("offscreen"));
    ASSERT_TRUE(offscreen->waitForStarted(5000));
    EXPECT_FALSE(offscreen->waitForFinished(1500)) << "the client ended on its own";
    Stop(*offscreen);
    EXPECT_TRUE(std::filesystem::is_directory(env.Dir / "home/streams"));

    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display (scripts/test provides one)";
    auto client = StartClient(env, QStringLiteral("xcb"));
    ASSERT_TRUE(client->waitForStarted(5000));
    QElapsedTimer waited;
    waited.start();
    bool shown = false;
    while (!shown && waited.elapsed() < 15000 && client->state() == QProcess::Running) {
        shown = WindowTree().contains(QStringLiteral("\"NELQ Client\": (\"nelq-client\""));
        if (!shown)
            QThread::msleep(100);
    }
    Stop(*client);
    EXPECT_TRUE(shown) << WindowTree().toStdString();
}
