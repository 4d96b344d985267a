#include "app/QtSyncContext.h"
#include "QtTestSupport.h"
#include "platform/Thread.h"

#include <QThread>

#include <stdexcept>

namespace {

class ReportingThread : public TThread {
public:
    using TThread::TThread;
    std::vector<QThread*> ReportThreads;

protected:
    void Execute() override {
        for (int i = 0; i < 3; ++i)
            Synchronize([this] { ReportThreads.push_back(QThread::currentThread()); });
    }
};

} // namespace

TEST(QtSyncContext, WorkerCallsRunOnTheMainThreadWhileItWaits) {
    EnsureApplication();
    QtSyncContext sync;
    ReportingThread thread(sync);
    thread.Start();
    thread.WaitFor();
    ASSERT_EQ(thread.ReportThreads.size(), 3u);
    for (QThread* reported : thread.ReportThreads)
        EXPECT_EQ(reported, QThread::currentThread());
}

TEST(QtSyncContext, AnErrorThrownOnTheMainThreadIsRethrownOnTheWorker) {
    class FailingCallThread : public TThread {
    public:
        using TThread::TThread;
        QString Caught;
        int LaterCalls = 0;

    protected:
        void Execute() override {
            try {
                Synchronize([] { throw std::runtime_error("assembly failed"); });
            } catch (const std::runtime_error& error) {
                Caught = QString::fromUtf8(error.what());
            }
            Synchronize([this] { ++LaterCalls; });
        }
    };
    EnsureApplication();
    QtSyncContext sync;
    FailingCallThread thread(sync);
    thread.Start();
    EXPECT_NO_THROW(thread.WaitFor());
    EXPECT_EQ(thread.Caught, "assembly failed");
    EXPECT_EQ(thread.LaterCalls, 1);
    EXPECT_FALSE(thread.FatalException());
}
