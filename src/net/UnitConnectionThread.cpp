#include "net/UnitConnectionThread.h"

TConnectionThread::TConnectionThread(SyncContext& sync, std::string clientVersion, std::string host,
                                     std::uint16_t port, const char* roleCode)
    : TThread(sync), ClientVersion(std::move(clientVersion)), Host(std::move(host)), Port(port),
      RoleCode(roleCode) {
    Connection.OnConnected = [this] { Status("Connected"); };
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
        if (end == TAttemptEnd::EndThread)
            break;
    }
}

TAttemptEnd TConnectionThread::RunAttempt() {
    Connection.Connect(Host, Port);
    const TVerdict verdict = RunOpeningExchange(Connection, ClientVersion, RoleCode);
    if (!verdict.Accepted) {
        Status(verdict.Reason);
        return TAttemptEnd::EndThread;
    }
    if (!Login())
        return TAttemptEnd::EndThread;
    return CommandLoop();
}
