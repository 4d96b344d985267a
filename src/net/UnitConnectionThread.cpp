#include "net/UnitConnectionThread.h"

TConnectionThread::TConnectionThread(SyncContext& sync, std::string clientVersion, std::string host,
                                     std::uint16_t port, const char* roleCode)
    : TThread(sync), ClientVersion(std::move(clientVersion)), Host(std::move(host)), Port(port),
      RoleCode(roleCode) {
    Connection.OnConnected = [this] {
        Reached = true;
        ReportReach(true);
        Status("Connected");
    };
    Connection.OnDisconnected = [this] { Status("Disconnected"); };
}

std::string TConnectionThread::StatusText() const {
    std::lock_guard guard(StatusLock);
    return FStatusText;
}

void TConnectionThread::Status(const std::string& text) {
    {
        std::lock_guard guard(StatusLock);
        FStatusText = text;
    }
    Synchronize([this, &text] {
        if (OnStatus)
            OnStatus(text);
    });
}

void TConnectionThread::Execute() {
    BeforeLoop();
    while (!Terminated()) {
        if (!SleepFor(PauseBeforeAttempt(FirstAttempt)))
            break;
        if (AnnounceReconnection(FirstAttempt))
            Status("Attempting Reconnection...");
        TAttemptEnd end = TAttemptEnd::Reconnect;
        std::string failure;
        Reached = false;
        try {
            BeginAttempt(FirstAttempt);
            end = RunAttempt();
        } catch (const std::exception& error) {
            failure = error.what();
        }
        FirstAttempt = false;
        try {
            EndAttempt();
        } catch (const std::exception& error) {
            if (failure.empty())
                failure = error.what();
        }
        Connection.Disconnect();
        if (!failure.empty())
            Status(failure);
        if (!Reached && !Terminated())
            ReportReach(false);
        if (end == TAttemptEnd::EndThread) {
            Synchronize([this] {
                if (OnEnded)
                    OnEnded(Ending);
            });
            break;
        }
    }
}

void TConnectionThread::ReportReach(bool reached) {
    if (reached && UnreachableTries == 0)
        return;
    UnreachableTries = reached ? 0 : UnreachableTries + 1;
    Synchronize([this, tries = UnreachableTries] {
        if (OnUnreachable)
            OnUnreachable(tries);
    });
}

TAttemptEnd TConnectionThread::RunAttempt() {
    Connection.Connect(Host, Port);
    const TVerdict verdict = RunOpeningExchange(Connection, ClientVersion, RoleCode);
    if (!verdict.Accepted) {
        Status(verdict.Reason);
        SetEnding(TThreadEnding::Refused);
        return TAttemptEnd::EndThread;
    }
    if (!Login()) {
        SetEnding(TThreadEnding::LoginRefused);
        return TAttemptEnd::EndThread;
    }
    return CommandLoop();
}
