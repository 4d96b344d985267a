#pragma once

#include "net/UnitConnectionThread.h"

#include <cstdint>

// Values of the viewer's protocol state (`ViewerState`).
enum TViewerStateValue : std::uint8_t {
    vsIdle = 0,
    vsListGames = 1,
    vsListSections = 2,
    vsRequest = 3,
    vsSectionHeader = 4,
    vsBlocks = 5,
    vsWaitForLogin = 6,
    vsLogin = 7,
};

// The viewer's side of the connection: port 28100, role 1016, a pause of
// 4000 ms before every attempt but the first, and the login: after the
// verdict the server either says "AUTH" or anything else (no login needed).
//
// TViewerThread derives from this and supplies CommandLoop, its state loop
// over `ViewerState`; in state vsLogin that loop calls SendCredentials. The
// state to continue in after the login is TargetState.
class TViewerConnectionThread : public TConnectionThread {
public:
    TViewerConnectionThread(SyncContext& sync, std::string clientVersion, std::string host,
                            std::uint16_t port = ViewerRole.Port);

    // Locked properties, callable from any thread.
    std::uint8_t GetViewerState() const;
    void SetViewerState(std::uint8_t state);
    std::string GetUsername() const;
    void SetUsername(const std::string& name);
    std::string GetPassword() const;
    void SetPassword(const std::string& password);

    // Runs on the main thread when the first connection asks for a login.
    std::function<void()> OnAuthRequired;

protected:
    std::chrono::milliseconds PauseBeforeAttempt(bool firstAttempt) const override;
    bool AnnounceReconnection(bool firstAttempt) const override;
    // Chooses the target state; derived threads call it first when they override.
    void BeginAttempt(bool firstAttempt) override;
    bool Login() override;

    // A reconnection found a section being received: tell the main window
    // (a progress notification for stream index -1).
    virtual void TransferResuming() {}

    // State vsLogin: sends the user name and password; false when refused
    // (the reason is shown), otherwise the state becomes TargetState.
    bool SendCredentials();

    std::uint8_t TargetState = vsListGames;

private:
    mutable std::mutex StateLock;
    std::uint8_t FViewerState = vsIdle; // guarded by StateLock
    mutable std::mutex UsernameLock;
    std::string FUsername; // guarded by UsernameLock
    mutable std::mutex PasswordLock;
    std::string FPassword; // guarded by PasswordLock
    // Thread only: an attempt has got past its login; the state when the
    // current attempt began.
    bool PastLogin = false;
    std::uint8_t StateAtAttemptStart = vsIdle;
};
