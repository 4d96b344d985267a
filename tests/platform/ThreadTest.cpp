#include "platform/Thread.h"
#include "platform/PumpedSyncContext.h"

#include <gtest/gtest.h>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace {

class RecordingThread : public TThread {
public:
    using TThread::TThread;
    std::vector<std::thread::id> CallThreads;
    int Passes = 0;

protected:
    void Execute() override {
        while (!Terminated()) {
            ++Passes;
            Synchronize([this] { CallThreads.push_back(std::this_thread::get_id()); });
            SleepFor(std::chrono::milliseconds(1000));
        }
    }
};

class ThrowingThread : public TThread {
public:
    using TThread::TThread;

protected:
    void Execute() override { throw std::runtime_error("body failed"); }
};

// Calls the main thread on every pass and once more when asked to end, as
// the connection threads report their end.
class CallingBackThread : public TThread {
public:
    using TThread::TThread;
    std::function<void()> OnCall;

protected:
    void Execute() override {
        do
            Synchronize([this] { OnCall(); });
        while (SleepFor(std::chrono::milliseconds(20)));
        Synchronize([this] { OnCall(); });
    }
};

} // namespace

TEST(ThreadDeathTest, AThreadItsOwnerDestroysUnstoppedAbortsTheTestRun) {
#ifdef NELQ_CHECK_THREAD_STOPS
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer may see the body's use of the object being destroyed,
    // and end the run, before the check can.
    const char* const ending = "ThreadSanitizer: data race|destroyed while its body still ran";
#else
    const char* const ending = "destroyed while its body still ran.*must Stop it first";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            PumpedSyncContext sync;
            CallingBackThread forgotten(sync);
            forgotten.OnCall = [] {};
            forgotten.Start();
        },
        ending);
#else
    GTEST_SKIP() << "built without the check";
#endif
}

// Stop is made by the owner, again by the owner, and by the owner's handlers
// of the thread's own calls, which run while the body waits on them: none of
// these may hang or leave a body running.
TEST(Thread, AnOwnersStopMayBeRepeatedAlsoFromTheThreadsOwnCalls) {
    PumpedSyncContext sync;
    for (const bool stopFromFirstCall : {false, true}) {
        SCOPED_TRACE(stopFromFirstCall);
        int calls = 0; // before the thread: its last call may come while it is deleted
        auto thread = MakeOwnedThread<CallingBackThread>(sync);
        thread->Stop(); // never started: nothing to wait for
        thread->OnCall = [&] {
            ++calls;
            if (stopFromFirstCall || thread->Terminated()) {
                thread->Stop();
                thread->Stop();
            }
        };
        thread->Start();
        ASSERT_TRUE(sync.PumpUntil([&] { return calls > 0; }, std::chrono::seconds(10)));
        thread->Stop();
        EXPECT_TRUE(thread->Finished());
        thread->Stop();
        EXPECT_GE(calls, 2); // the last call ran during the owner's Stop
    }
    auto running = MakeOwnedThread<CallingBackThread>(sync);
    running->OnCall = [] {};
    running->Start();
    running.reset(); // the owner's pointer stops it before it deletes it
}

TEST(Thread, SynchronizedCallsRunOnTheMainThreadAndTerminateWakesTheSleep) {
    PumpedSyncContext sync;
    RecordingThread thread(sync);
    EXPECT_FALSE(thread.Started());
    thread.Start();
    ASSERT_TRUE(
        sync.PumpUntil([&] { return !thread.CallThreads.empty(); }, std::chrono::seconds(5)));
    const auto began = std::chrono::steady_clock::now();
    thread.Terminate();
    thread.WaitFor();
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(500));
    EXPECT_TRUE(thread.Finished());
    EXPECT_EQ(thread.CallThreads.front(), std::this_thread::get_id());
}

TEST(Thread, NeverStartedThreadWaitsForNothingAndAnEscapedErrorIsKept) {
    PumpedSyncContext sync;
    {
        RecordingThread idle(sync);
        idle.WaitFor();
        EXPECT_FALSE(idle.Finished());
    }
    ThrowingThread failing(sync);
    failing.Start();
    failing.WaitFor();
    ASSERT_TRUE(failing.FatalException());
    EXPECT_THROW(std::rethrow_exception(failing.FatalException()), std::runtime_error);
}

TEST(Thread, WaitForServesACallMadeWhileTheMainThreadWaits) {
    // The worker is inside Synchronize when the main thread starts waiting:
    // WaitFor must run that call or both threads would block forever.
    PumpedSyncContext sync;
    RecordingThread thread(sync);
    thread.Start();
    thread.Terminate();
    thread.WaitFor();
    EXPECT_LE(thread.CallThreads.size(), 1u);
}

TEST(Thread, AnErrorInASynchronizedCallReachesTheWorkerAndTheMainLoopGoesOn) {
    // The main thread's handler fails; the worker must get the error (and can
    // carry on), not stay blocked while the error escapes into the pump.
    class CallingThread : public TThread {
    public:
        using TThread::TThread;
        std::string Caught;
        int LaterCalls = 0;

    protected:
        void Execute() override {
            try {
                Synchronize([] { throw std::runtime_error("handler failed"); });
            } catch (const std::runtime_error& error) {
                Caught = error.what();
            }
            Synchronize([this] { ++LaterCalls; });
        }
    };
    PumpedSyncContext sync;
    CallingThread thread(sync);
    thread.Start();
    EXPECT_NO_THROW(
        EXPECT_TRUE(sync.PumpUntil([&] { return thread.Finished(); }, std::chrono::seconds(10))));
    thread.WaitFor();
    EXPECT_EQ(thread.Caught, "handler failed");
    EXPECT_EQ(thread.LaterCalls, 1);
    EXPECT_FALSE(thread.FatalException());
}

// Makes the system refuse every new thread of this process, as it does when
// it runs out of them: a filter answers both ways of making one with EAGAIN.
// (Limiting the address space would not do: the sanitizers reserve theirs.)
bool RefuseNewThreads() {
    sock_filter refuse[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone3, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(refuse)), refuse};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Starts a thread where the system makes none; exits 0 when the start was
// refused and left the thread as if never started.
[[noreturn]] void StartWhereTheSystemMakesNoThreads() {
    PumpedSyncContext sync;
    RecordingThread thread(sync);
    if (!RefuseNewThreads())
        std::_Exit(2);
    bool refused = false;
    try {
        thread.Start();
    } catch (const std::system_error&) {
        refused = true;
    }
    thread.Terminate();
    thread.WaitFor(); // would spin for ever on a thread believed started
    std::_Exit(refused && !thread.Started() ? 0 : 1);
}

// A thread the system cannot make is reported to the caller and leaves the
// object as if never started, so a stop that waits for it returns at once.
TEST(Thread, AStartTheSystemRefusesLeavesTheThreadUnstarted) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(StartWhereTheSystemMakesNoThreads(), ::testing::ExitedWithCode(0), "");
}
