#pragma once

#include "platform/SyncContext.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

// A main-loop stand-in: the thread that creates it is the main thread, and
// calls from workers run when that thread calls ProcessPending. An exception
// thrown by such a call is rethrown on the worker that made it.
class PumpedSyncContext : public SyncContext {
public:
    PumpedSyncContext();

    void RunOnMain(const std::function<void()>& fn) override;
    void ProcessPending(std::chrono::milliseconds timeout) override;

    // Pumps until `done` holds or `limit` passes; true when `done` held.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

private:
    struct Call {
        const std::function<void()>* fn;
        std::exception_ptr error;
        bool finished = false;
    };

    std::thread::id MainThread;
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<Call*> Queue; // guarded by Lock
};
