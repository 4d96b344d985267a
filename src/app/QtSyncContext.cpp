#include "app/QtSyncContext.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <thread>

QtSyncContext::QtSyncContext() = default;

void QtSyncContext::RunOnMain(const std::function<void()>& fn) {
    if (QThread::currentThread() == Receiver.thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(
        &Receiver, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

void QtSyncContext::ProcessPending(std::chrono::milliseconds timeout) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Queued calls arrive as events; a short nap keeps the wait from spinning.
    std::this_thread::sleep_for(std::min(timeout, std::chrono::milliseconds(2)));
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
