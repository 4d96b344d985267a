#include "platform/PumpedSyncContext.h"

PumpedSyncContext::PumpedSyncContext() : MainThread(std::this_thread::get_id()) {}

void PumpedSyncContext::RunOnMain(const std::function<void()>& fn) {
    if (std::this_thread::get_id() == MainThread) {
        fn();
        return;
    }
    Call call{&fn, nullptr};
    std::unique_lock guard(Lock);
    Queue.push_back(&call);
    Changed.notify_all();
    Changed.wait(guard, [&] { return call.finished; });
    if (call.error)
        std::rethrow_exception(call.error);
}

void PumpedSyncContext::ProcessPending(std::chrono::milliseconds timeout) {
    std::unique_lock guard(Lock);
    Changed.wait_for(guard, timeout, [&] { return !Queue.empty(); });
    while (!Queue.empty()) {
        Call* call = Queue.front();
        Queue.pop_front();
        guard.unlock();
        std::exception_ptr error;
        try {
            (*call->fn)();
        } catch (...) {
            // The worker's call failed, not the main loop: the worker gets it.
            error = std::current_exception();
        }
        guard.lock();
        call->error = error;
        call->finished = true;
        Changed.notify_all();
    }
}

bool PumpedSyncContext::PumpUntil(const std::function<bool()>& done,
                                  std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return false;
        ProcessPending(std::min<std::chrono::milliseconds>(
            std::chrono::milliseconds(10),
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now)));
    }
    return true;
}
