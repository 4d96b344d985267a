#pragma once

#include <chrono>
#include <functional>

// How worker threads reach the main thread. The Qt layer runs calls through a
// blocking queued invocation; tests pump a small queue by hand.
class SyncContext {
public:
    virtual ~SyncContext() = default;

    // Runs fn on the main thread and returns once it has run. Called from the
    // main thread itself, it runs fn directly.
    virtual void RunOnMain(const std::function<void()>& fn) = 0;

    // Called on the main thread while it waits for a worker: runs the calls
    // that are waiting, or waits up to `timeout` for one to arrive.
    virtual void ProcessPending(std::chrono::milliseconds timeout) = 0;
};
