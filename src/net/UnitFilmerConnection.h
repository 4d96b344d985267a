#pragma once

#include "net/UnitConnectionThread.h"

// The filmer's side of the connection: port 28200, role 2016, a pause of
// 1000 ms before every attempt, and the login that opens a new cast (NEW) or
// continues it after a dropped connection (RESUME).
//
// TFilmerThread derives from this and supplies the upload: CommandLoop and the
// three login hooks below, which run on the thread right after the login.
class TFilmerConnectionThread : public TConnectionThread {
public:
    TFilmerConnectionThread(SyncContext& sync, std::string clientVersion, std::string host,
                            std::string filmingPassword, std::string gameName,
                            std::uint16_t port = FilmerRole.Port);

protected:
    // The first accepted login of the thread: reset the byte counter, prepare.
    virtual void FirstLoginAccepted() = 0;
    // A later accepted login: the oldest section not yet shown to be held is
    // announced again.
    virtual void LoginResumed() = 0;
    // After every accepted login: report the byte counter.
    virtual void LoggedIn() = 0;

    std::chrono::milliseconds PauseBeforeAttempt(bool firstAttempt) const override;
    bool AnnounceReconnection(bool firstAttempt) const override;
    bool Login() override;

    const std::string FilmingPassword;
    const std::string GameName;
    bool FirstConnection = true; // until an attempt has got past its login
    bool LoggedInBefore = false; // for the life of the thread, after the first accepted login
};
