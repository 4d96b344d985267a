#include "app/QtSyncContext.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <exception>
#include <thread>

QtSyncContext::QtSyncContext() = default;

void QtSyncContext::RunOnMain(const std::function<void()>& fn) {
    if (QThread::currentThread() == Receiver.thread()) {
        fn();
        return;
    }
    // An exception must not unwind through Qt's event delivery: it is
    // carried back and rethrown on the worker that made the call.
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        &Receiver,
        [&fn, &error] {
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error)
        std::rethrow_exception(error);
}

void QtSyncContext::ProcessPending(std::chrono::milliseconds timeout) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Queued calls arrive as events; a short nap keeps the wait from spinning.
    std::this_thread::sleep_for(std::min(timeout, std::chrono::milliseconds(2)));
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
