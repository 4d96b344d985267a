#include "platform/Thread.h"

TThread::TThread(SyncContext& sync) : Sync(sync) {}

TThread::~TThread() {
    if (Worker.joinable())
        Worker.join();
}

void TThread::Start() {
    if (FStarted)
        return;
    // Started only once the body runs: a thread that could not be made (its
    // error goes to the caller) leaves nothing for WaitFor to wait on.
    Worker = std::thread([this] { Run(); });
    FStarted = true;
}

void TThread::Run() {
    try {
        Execute();
    } catch (...) {
        std::lock_guard guard(Lock);
        FFatal = std::current_exception();
    }
    FFinished = true;
}

void TThread::Terminate() {
    {
        std::lock_guard guard(Lock);
        FTerminated = true;
    }
    Wake.notify_all();
}

void TThread::WaitFor() {
    if (!FStarted)
        return;
    while (!FFinished)
        Sync.ProcessPending(std::chrono::milliseconds(5));
    if (Worker.joinable())
        Worker.join();
}

void TThread::Stop() {
    if (!FStarted)
        return;
    Unblock();
    Terminate();
    // The body waits for the call this Stop runs in: waiting for the body
    // here would wait for ever.
    if (FServedCalls == 0)
        WaitFor();
}

std::exception_ptr TThread::FatalException() const {
    std::lock_guard guard(Lock);
    return FFatal;
}

void TThread::Synchronize(const std::function<void()>& fn) {
    Sync.RunOnMain([this, &fn] {
        struct TServing {
            int& Calls;
            explicit TServing(int& calls) : Calls(calls) { ++Calls; }
            ~TServing() { --Calls; }
        } serving(FServedCalls);
        fn();
    });
}

bool TThread::SleepFor(std::chrono::milliseconds duration) {
    std::unique_lock guard(Lock);
    return !Wake.wait_for(guard, duration, [this] { return FTerminated.load(); });
}

void TStopThenDelete::operator()(TThread* thread) const {
    thread->Stop();
    delete thread;
}
