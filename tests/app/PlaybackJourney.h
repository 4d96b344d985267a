#pragma once

// A hosted cast played from end to end: the casting server and the game run
// as programs of their own, the client's window downloads and assembles the
// cast, plays its commentary through the private sound server and starts,
// pauses and steers the game.

#include "../playback/CastSections.h"
#include "CastClients.h"
#include "QtTestSupport.h"
#include "app/UnitFormMain.h"
#include "playback/PlaybackSync.h"

#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class PlaybackEndToEnd : public ::testing::Test {
protected:
    static constexpr int Deadline = 60000;
    // Runs events until `done` holds; false after the deadline.
    static bool WaitUntil(const std::function<bool()>& done);
    static QString Tools();

    void SetUp() override;
    void TearDown() override;
    // Puts the game where the client finds it, before the window is made.
    virtual void InstallGame();

    // The launcher the client starts the game with: it notes each launch with
    // the game's process number in the game log and hands over to `game`.
    void UseLauncher(const QString& game);
    std::string GameLog() const { return Env.Dir / "game.log"; }
    QString GameLogText() const;
    // The process numbers of the games launched so far, in order.
    std::vector<pid_t> LaunchedGames() const;

    void StartServer(const std::string& address);
    void Upload(std::int32_t section, const TCastSection& parts);
    void Complete();
    // Views the cast "PLAY" from its start.
    void View();

    TPlaybackSync& Sync();
    // What a failed wait shows.
    std::string State() const;
    std::string AudioSync() const;

    ClientEnvironment Env;
    std::unique_ptr<TFormMain> Form;
    QProcess Server;
    std::string Address;
    std::unique_ptr<TServerConnection> Filmer;
    QTimer Boxes;
    QStringList BoxTexts;

private:
    bool ConnectFilmer();
};
