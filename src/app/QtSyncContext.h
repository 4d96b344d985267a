#pragma once

#include "platform/SyncContext.h"

#include <QObject>

// Runs worker threads' calls on the Qt main thread through blocking queued
// invocations; waiting on the main thread keeps the event loop turning. An
// exception thrown by a call is rethrown on the worker that made it.
class QtSyncContext : public SyncContext {
public:
    QtSyncContext();

    void RunOnMain(const std::function<void()>& fn) override;
    void ProcessPending(std::chrono::milliseconds timeout) override;

private:
    QObject Receiver; // lives on the main thread; queued calls are delivered to it
};
