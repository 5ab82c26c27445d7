#include "rtl/Thread.h"
#include "rtl/MultiReadExclusiveWriteSynchronizer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace {

using namespace std::chrono_literals;

// Runs a function as its Execute.
class TLambdaThread : public TThread {
public:
    TLambdaThread(bool CreateSuspended, std::function<void(TLambdaThread&)> Body)
        : TThread(CreateSuspended), FBody(std::move(Body)) {}
    using TThread::Terminated;
    void SuspendSelf() { Suspend(); }

protected:
    void Execute() override { FBody(*this); }

private:
    std::function<void(TLambdaThread&)> FBody;
};

// Pumps the main thread's queue until Done or the deadline (a hang guard,
// not a speed check).
template <class Pred> bool PumpUntil(Pred Done, std::chrono::seconds Limit = 20s) {
    auto Deadline = std::chrono::steady_clock::now() + Limit;
    while (!Done()) {
        if (std::chrono::steady_clock::now() > Deadline)
            return false;
        CheckSynchronize(1);
    }
    return true;
}

TEST(Thread, CreatedRunningExecutesAndWaitForReturnsItsValue) {
    std::atomic<bool> Ran{false};
    auto* Thread = TThread::Start<TLambdaThread>(false, [&](TLambdaThread&) { Ran = true; });
    Thread->WaitFor();
    EXPECT_TRUE(Ran);
    EXPECT_TRUE(Thread->GetFinished());
    delete Thread;
}

TEST(Thread, CreatedSuspendedWaitsForResume) {
    std::atomic<bool> Ran{false};
    TLambdaThread Thread(true, [&](TLambdaThread&) { Ran = true; });
    EXPECT_TRUE(Thread.GetSuspended());
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(Ran);
    Thread.Resume();
    Thread.WaitFor();
    EXPECT_TRUE(Ran);
}

TEST(Thread, NeverStartedThreadIsDestroyedWithoutRunning) {
    std::atomic<bool> Ran{false};
    {
        TLambdaThread Thread(true, [&](TLambdaThread&) { Ran = true; });
    }
    EXPECT_FALSE(Ran);
}

TEST(Thread, SynchronizeRunsOnMainThreadInsideCheckSynchronizeAndWorkerGoesOn) {
    std::atomic<int> Stage{0};
    std::thread::id RanOn;
    TLambdaThread Thread(true, [&](TLambdaThread& Self) {
        Stage = 1;
        Self.Synchronize([&] {
            RanOn = std::this_thread::get_id();
            EXPECT_EQ(Stage.load(), 1);
            Stage = 2;
        });
        EXPECT_EQ(Stage.load(), 2);
        Stage = 3;
    });
    Thread.Resume();
    ASSERT_TRUE(PumpUntil([&] { return Stage.load() == 3; }));
    Thread.WaitFor();
    EXPECT_EQ(RanOn, std::this_thread::get_id());
}

TEST(Thread, SynchronizeOnMainThreadRunsAtOnce) {
    TLambdaThread Thread(true, [](TLambdaThread&) {});
    bool Ran = false;
    Thread.Synchronize([&] { Ran = true; });
    EXPECT_TRUE(Ran);
    Thread.Resume();
    Thread.WaitFor();
}

TEST(Thread, WaitForOnMainThreadWhileWorkerIsInSynchronizeDoesNotDeadlock) {
    std::atomic<bool> Delivered{false};
    TLambdaThread Thread(true, [&](TLambdaThread& Self) {
        while (!Self.Terminated())
            Self.Synchronize([&] { Delivered = true; });
    });
    Thread.Resume();
    std::this_thread::sleep_for(10ms); // let the worker queue its call
    Thread.Terminate();
    Thread.WaitFor();
    EXPECT_TRUE(Delivered);
}

TEST(Thread, WakeMainThreadHookFiresWhenCallIsQueued) {
    std::atomic<int> Wakes{0};
    SetWakeMainThread([&] { ++Wakes; });
    TLambdaThread Thread(true, [](TLambdaThread& Self) { Self.Synchronize([] {}); });
    Thread.Resume();
    Thread.WaitFor();
    SetWakeMainThread(nullptr);
    EXPECT_GE(Wakes.load(), 1);
}

// The detector's worker pattern: check the stop flag under the lock, release
// the lock, suspend itself. A run started in between (Resume before Suspend)
// must not stall.
TEST(Thread, ResumeBeforeOwnSuspendIsNotLost) {
    TMultiReadExclusiveWriteSynchronizer Lock;
    bool Stopped = true; // guarded by Lock
    std::atomic<int> RunsDone{0};
    TLambdaThread Worker(true, [&](TLambdaThread& Self) {
        while (!Self.Terminated()) {
            Lock.BeginRead();
            bool WasStopped = Stopped;
            Lock.EndRead();
            if (WasStopped) {
                Self.SuspendSelf();
                continue;
            }
            Lock.BeginWrite();
            Stopped = true;
            Lock.EndWrite();
            ++RunsDone;
        }
    });
    Worker.Resume();
    for (int Run = 1; Run <= 3000; ++Run) {
        Lock.BeginWrite();
        Stopped = false;
        Lock.EndWrite();
        Worker.Resume();
        auto Deadline = std::chrono::steady_clock::now() + 20s;
        while (RunsDone.load() < Run && std::chrono::steady_clock::now() < Deadline)
            std::this_thread::yield();
        ASSERT_EQ(RunsDone.load(), Run) << "run " << Run << " stalled";
    }
    Worker.Terminate();
    if (Worker.GetSuspended())
        Worker.Resume();
    Worker.WaitFor();
}

TEST(Thread, SuspendAfterTerminateDoesNotPark) {
    TLambdaThread Thread(true, [](TLambdaThread& Self) {
        while (!Self.Terminated())
            std::this_thread::yield();
        Self.SuspendSelf();
    });
    Thread.Resume();
    Thread.Terminate();
    Thread.WaitFor();
    EXPECT_TRUE(Thread.GetFinished());
}

TEST(Thread, PriorityIsStoredAndLoweringIsApplied) {
    TLambdaThread Thread(true, [](TLambdaThread& Self) {
        while (!Self.Terminated())
            std::this_thread::sleep_for(1ms);
    });
    EXPECT_EQ(Thread.GetPriority(), tpNormal);
    Thread.SetPriority(tpLowest);
    Thread.Resume();
    EXPECT_EQ(Thread.GetPriority(), tpLowest);
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(Thread.GetAppliedNiceValue(), 10);
    Thread.SetPriority(tpIdle);
    EXPECT_EQ(Thread.GetAppliedNiceValue(), 19);
    Thread.Terminate();
    Thread.WaitFor();
}

} // namespace
