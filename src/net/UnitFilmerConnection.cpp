#include "net/UnitFilmerConnection.h"

#include "net/LineFields.h"

TFilmerConnectionThread::TFilmerConnectionThread(SyncContext& sync, std::string clientVersion,
                                                 std::string host, std::string filmingPassword,
                                                 std::string gameName, std::uint16_t port)
    : TConnectionThread(sync, std::move(clientVersion), std::move(host), port, FilmerRole.RoleCode),
      FilmingPassword(std::move(filmingPassword)), GameName(std::move(gameName)) {}

std::chrono::milliseconds TFilmerConnectionThread::PauseBeforeAttempt(bool) const {
    return std::chrono::milliseconds(1000);
}

bool TFilmerConnectionThread::AnnounceReconnection(bool) const {
    return !FirstConnection;
}

bool TFilmerConnectionThread::Login() {
    const char* mode = !FirstConnection && LoggedInBefore ? "RESUME" : "NEW";
    Connection.WriteLine(JoinFields({"AUTH", FilmingPassword, mode, GameName}));
    const TVerdict verdict = ReadVerdict(Connection);
    if (!verdict.Accepted) {
        Status(verdict.Reason);
        return false;
    }
    const bool firstLogin = !LoggedInBefore;
    LoggedInBefore = true;
    if (firstLogin) {
        FirstLoginAccepted();
    } else {
        Status("Attempting to resume transfer...");
        LoginResumed();
    }
    FirstConnection = false;
    LoggedIn();
    return true;
}
