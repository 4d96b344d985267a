#include "app/QtSyncContext.h"
#include "QtTestSupport.h"
#include "platform/Thread.h"

#include <QThread>

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
