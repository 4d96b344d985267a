#include "net/UnitViewerConnection.h"

#include "net/LineFields.h"

TViewerConnectionThread::TViewerConnectionThread(SyncContext& sync, std::string clientVersion,
                                                 std::string host, std::uint16_t port)
    : TConnectionThread(sync, std::move(clientVersion), std::move(host), port,
                        ViewerRole.RoleCode) {}

std::uint8_t TViewerConnectionThread::GetViewerState() const {
    std::lock_guard guard(StateLock);
    return FViewerState;
}

void TViewerConnectionThread::SetViewerState(std::uint8_t state) {
    std::lock_guard guard(StateLock);
    FViewerState = state;
}

std::string TViewerConnectionThread::GetUsername() const {
    std::lock_guard guard(UsernameLock);
    return FUsername;
}

void TViewerConnectionThread::SetUsername(const std::string& name) {
    std::lock_guard guard(UsernameLock);
    FUsername = name;
}

std::string TViewerConnectionThread::GetPassword() const {
    std::lock_guard guard(PasswordLock);
    return FPassword;
}

void TViewerConnectionThread::SetPassword(const std::string& password) {
    std::lock_guard guard(PasswordLock);
    FPassword = password;
}

std::chrono::milliseconds TViewerConnectionThread::PauseBeforeAttempt(bool firstAttempt) const {
    return std::chrono::milliseconds(firstAttempt ? 0 : 4000);
}

bool TViewerConnectionThread::AnnounceReconnection(bool firstAttempt) const {
    return !firstAttempt;
}

void TViewerConnectionThread::BeginAttempt(bool /*firstAttempt*/) {
    const std::uint8_t state = GetViewerState();
    StateAtAttemptStart = state;
    if (!PastLogin) {
        // Until one attempt has got past its login, every attempt is the first
        // connection: a first attempt that failed early must still list the
        // games (the thread's state is still idle then) and ask the user.
        TargetState = vsListGames;
    } else if (state == vsSectionHeader || state == vsBlocks) {
        TargetState = vsRequest;
        Status("Attempting to resume transfer...");
        TransferResuming();
    } else if (state != vsWaitForLogin && state != vsLogin) {
        TargetState = state;
    }
    // A drop during a login keeps the target of the attempt that asked for it.
}

bool TViewerConnectionThread::Login() {
    if (Connection.ReadLine() != "AUTH") {
        PastLogin = true;
        SetViewerState(TargetState);
        return true;
    }
    if (PastLogin || StateAtAttemptStart == vsLogin) {
        // The login is known: send it without asking the user again.
        SetViewerState(vsLogin);
        return true;
    }
    SetViewerState(vsWaitForLogin);
    Synchronize([this] {
        if (OnAuthRequired)
            OnAuthRequired();
    });
    return true;
}

bool TViewerConnectionThread::SendCredentials() {
    Connection.WriteLine(JoinFields({GetUsername(), GetPassword()}));
    const TVerdict verdict = ReadVerdict(Connection);
    if (!verdict.Accepted) {
        Status(verdict.Reason);
        SetEnding(TThreadEnding::LoginRefused);
        return false;
    }
    PastLogin = true;
    SetViewerState(TargetState);
    return true;
}
