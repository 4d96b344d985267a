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

// Why a connection thread ended by itself, so that the window can say what
// happened and what the user can do.
enum class TThreadEnding {
    Refused,      // the server refused the hello
    LoginRefused, // the server refused the login or the filming password
    Finished,     // the upload is complete; the cast has ended
    Deleted,      // the cast was deleted on the server
    Failed,       // anything else that ends the thread (its status says what)
};

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

    // Run on the main thread through Synchronize.
    std::function<void(const std::string&)> OnStatus;
    // After each attempt that could not reach the server, with the number of
    // such attempts in a row; 0 once the server is reached again.
    std::function<void(int triesInARow)> OnUnreachable;
    // Once, as the last report of a thread that ended by itself (not when stopped).
    std::function<void(TThreadEnding)> OnEnded;

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
    // Why the thread is about to end; a role sets it before returning EndThread.
    void SetEnding(TThreadEnding ending) { Ending = ending; }

    TServerConnection Connection;
    const std::string ClientVersion;
    const std::string Host;

private:
    TAttemptEnd RunAttempt();
    void ReportReach(bool reached);

    const std::uint16_t Port;
    const char* const RoleCode;
    bool FirstAttempt = true;
    bool Reached = false; // the attempt under way has connected
    int UnreachableTries = 0;
    TThreadEnding Ending = TThreadEnding::Failed;

    mutable std::mutex StatusLock;
    std::string FStatusText; // guarded by StatusLock
};
