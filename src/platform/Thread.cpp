#include "platform/Thread.h"

#include <cstdio>
#include <cstdlib>

TThread::TThread(SyncContext& sync) : Sync(sync) {}

TThread::~TThread() {
    if (!Worker.joinable())
        return;
#ifdef NELQ_CHECK_THREAD_STOPS
    // Checked whether or not the body has ended by now, so that a missing
    // Stop is caught every time, not only when the timing is unlucky.
    std::fputs("TThread: a thread was destroyed while its body still ran (it was never "
               "stopped): its owner must Stop it first\n",
               stderr);
    std::abort();
#else
    // The derived part the body runs in is gone: end the body as soon as it looks.
    Terminate();
    Worker.join();
#endif
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
