#pragma once

#include "platform/SyncContext.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

// Base of the worker threads: created suspended, started once, asked to stop
// through a flag that the body polls, and able to run short calls on the main
// thread through its SyncContext.
//
// Its owner stops it (Stop) before destroying it: by the time this base is
// destroyed the derived part the body runs in is gone already. Test builds
// abort on a thread destroyed unstopped; other builds end and join it.
class TThread {
public:
    explicit TThread(SyncContext& sync);
    virtual ~TThread();

    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Once; later calls do nothing. Raises std::system_error, and stays
    // unstarted, when the system cannot make the thread.
    void Start();
    void Terminate(); // sets the flag and wakes SleepFor
    bool Terminated() const { return FTerminated.load(); }
    bool Started() const { return FStarted; }
    bool Finished() const { return FFinished.load(); }

    // Waits until the body has ended, running main-thread calls meanwhile so a
    // worker blocked in Synchronize can finish. Returns at once if never started.
    void WaitFor();

    // Main thread: Unblock, Terminate, WaitFor. Any number of calls. Made from
    // a call the body waits on (its Synchronize, also while an earlier Stop
    // waits), it only asks the body to end: that earlier Stop, or a later one,
    // waits for it.
    void Stop();

    // The exception that ended the body, if any.
    std::exception_ptr FatalException() const;

protected:
    virtual void Execute() = 0;

    // Main thread, from Stop: wakes a body blocked where it does not poll the
    // flag (a socket read).
    virtual void Unblock() {}

    // Runs fn on the main thread and returns when it has run; what fn throws
    // is rethrown here, on the worker.
    void Synchronize(const std::function<void()>& fn);

    // Sleeps up to `duration`; returns early (false) when terminated.
    bool SleepFor(std::chrono::milliseconds duration);

    SyncContext& Sync;

private:
    void Run();

    std::thread Worker;
    bool FStarted = false;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    mutable std::mutex Lock;
    std::condition_variable Wake;
    std::exception_ptr FFatal; // guarded by Lock
    int FServedCalls = 0;      // main thread only: Synchronize calls now running
};

// Deleter of an owner's pointer to its thread: stops the thread, then deletes
// it, so an owner that leaves early (a failed check, an exception) stops it too.
struct TStopThenDelete {
    void operator()(TThread* thread) const;
};

template <class T> using TOwnedThread = std::unique_ptr<T, TStopThenDelete>;

template <class T, class... Args> TOwnedThread<T> MakeOwnedThread(Args&&... args) {
    return TOwnedThread<T>(new T(std::forward<Args>(args)...));
}
