#pragma once

#include "net/OpeningExchange.h"
#include "net/UnitServerConnection.h"
#include "platform/Thread.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <string>

// How a connection attempt ends when it does not fail: go round the
// reconnection loop again, or end the thread (refused, cast over, done).
enum class TAttemptEnd { Reconnect, EndThread };

// Base of the filmer and viewer threads: owns the connection and runs the
// reconnection loop. Each attempt connects, runs the opening exchange, lets
// the role log in and then runs the role's command loop. Any error in an
// attempt is shown as a status message and the loop tries again after the
// role's pause; a refusal ends the thread.
//
// Seam for the role threads (TFilmerThread, TViewerThread): the role's login
// lives in TFilmerConnectionThread / TViewerConnectionThread; the concrete
// thread derives from one of those and implements CommandLoop (run until
// Terminated(), or return EndThread when its work is over) plus, when it holds
// files, EndAttempt to close them. It talks to the main window only through
// Status() and its own Synchronize calls.
//
// Its owner calls Stop() from the main thread before destroying it: Stop shuts
// the socket down, which ends a read the thread waits in.
class TConnectionThread : public TThread {
public:
    TConnectionThread(SyncContext& sync, std::string clientVersion, std::string host,
                      std::uint16_t port, const char* roleCode);

    // The last status message (what OnStatus was last called with).
    std::string StatusText() const;

    // Runs on the main thread through Synchronize.
    std::function<void(const std::string&)> OnStatus;

protected:
    void Execute() final;
    void Unblock() final { Connection.CloseSocket(); }

    // Once, before the first attempt.
    virtual void BeforeLoop() {}
    virtual std::chrono::milliseconds PauseBeforeAttempt(bool firstAttempt) const = 0;
    virtual bool AnnounceReconnection(bool firstAttempt) const = 0;
    // At the start of every attempt, before connecting.
    virtual void BeginAttempt(bool /*firstAttempt*/) {}
    // Directly after an accepted verdict; false when the server refused the
    // login (the reason is shown and the thread ends).
    virtual bool Login() = 0;
    // Runs once logged in until Terminated() (then its return value is ignored).
    virtual TAttemptEnd CommandLoop() = 0;
    // After every attempt, however it ended: close what the attempt opened.
    virtual void EndAttempt() {}

    // Stores the text and shows it on the main thread.
    void Status(const std::string& text);

    bool IsFirstAttempt() const { return FirstAttempt; }

    TServerConnection Connection;
    const std::string ClientVersion;
    const std::string Host;

private:
    TAttemptEnd RunAttempt();

    const std::uint16_t Port;
    const char* const RoleCode;
    bool FirstAttempt = true;

    mutable std::mutex StatusLock;
    std::string FStatusText; // guarded by StatusLock
};
