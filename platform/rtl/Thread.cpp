#include "Thread.h"

#include <algorithm>
#include <exception>
#include <vector>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const std::thread::id MainThreadId = std::this_thread::get_id();

struct TSyncRequest {
    const TThreadMethod* Method;
    bool Done = false;
    std::exception_ptr Failure;
};

// One queue for the whole process: there is one main thread.
std::mutex SyncMutex;
std::condition_variable SyncChanged;
std::vector<TSyncRequest*> SyncQueue;
std::function<void()> WakeHook;

int NiceValueOf(TThreadPriority Priority) {
    switch (Priority) {
    case tpIdle:
        return 19;
    case tpLowest:
        return 10;
    case tpLower:
        return 5;
    case tpNormal:
        return 0;
    case tpHigher:
        return -5;
    case tpHighest:
        return -10;
    case tpTimeCritical:
        return -15;
    }
    return 0;
}

} // namespace

bool IsMainThread() {
    return std::this_thread::get_id() == MainThreadId;
}

void SetWakeMainThread(std::function<void()> Hook) {
    std::lock_guard Lock(SyncMutex);
    WakeHook = std::move(Hook);
}

bool CheckSynchronize(int TimeoutMs) {
    std::vector<TSyncRequest*> Batch;
    {
        std::unique_lock Lock(SyncMutex);
        if (SyncQueue.empty() && TimeoutMs > 0)
            SyncChanged.wait_for(Lock, std::chrono::milliseconds(TimeoutMs),
                                 [] { return !SyncQueue.empty(); });
        Batch.swap(SyncQueue);
    }
    for (TSyncRequest* Request : Batch) {
        try {
            (*Request->Method)();
        } catch (...) {
            Request->Failure = std::current_exception();
        }
        std::lock_guard Lock(SyncMutex);
        Request->Done = true;
    }
    if (!Batch.empty())
        SyncChanged.notify_all();
    return !Batch.empty();
}

TThread::TThread(bool CreateSuspended)
    : FSuspendCount(CreateSuspended ? 1 : 0), FStartAllowed(CreateSuspended) {
    FThread = std::thread([this] { Run(); });
}

TThread::~TThread() {
    {
        std::lock_guard Lock(FMutex);
        FAbandoned = true;
        FTerminated = true;
        FSuspendCount = 0;
    }
    FStateChanged.notify_all();
    WaitFor();
}

void TThread::Run() {
    bool RunExecute;
    {
        std::unique_lock Lock(FMutex);
        FLinuxTid = static_cast<int>(::syscall(SYS_gettid));
        ApplyPriorityLocked();
        FStateChanged.wait(Lock,
                           [this] { return FAbandoned || (FStartAllowed && FSuspendCount <= 0); });
        RunExecute = !FAbandoned;
        FSuspendCount = 0;
    }
    if (RunExecute) {
        try {
            Execute();
        } catch (...) {
            // A worker has nobody to report to; an escaping exception must
            // not take the process down.
        }
    }
    {
        std::lock_guard Lock(SyncMutex);
        FFinished = true;
    }
    SyncChanged.notify_all();
}

void TThread::AfterConstruction() {
    {
        std::lock_guard Lock(FMutex);
        FStartAllowed = true;
    }
    FStateChanged.notify_all();
}

void TThread::Resume() {
    {
        std::lock_guard Lock(FMutex);
        FStartAllowed = true;
        if (FSuspendCount > -1)
            --FSuspendCount;
    }
    FStateChanged.notify_all();
}

void TThread::Suspend() {
    if (std::this_thread::get_id() != FThread.get_id())
        return;
    std::unique_lock Lock(FMutex);
    // A thread asked to terminate must reach the end of Execute.
    if (FTerminated)
        return;
    ++FSuspendCount;
    FParked = FSuspendCount > 0;
    FStateChanged.wait(Lock, [this] { return FSuspendCount <= 0; });
    FSuspendCount = 0;
    FParked = false;
}

bool TThread::GetSuspended() const {
    std::lock_guard Lock(FMutex);
    return FSuspendCount > 0;
}

void TThread::Terminate() {
    std::lock_guard Lock(FMutex);
    FTerminated = true;
}

bool TThread::GetTerminated() const {
    std::lock_guard Lock(FMutex);
    return FTerminated;
}

bool TThread::GetFinished() const {
    std::lock_guard Lock(SyncMutex);
    return FFinished;
}

int TThread::WaitFor() {
    if (IsMainThread()) {
        for (;;) {
            {
                std::unique_lock Lock(SyncMutex);
                SyncChanged.wait(Lock, [this] { return FFinished || !SyncQueue.empty(); });
                if (FFinished)
                    break;
            }
            CheckSynchronize();
        }
    } else {
        std::unique_lock Lock(SyncMutex);
        SyncChanged.wait(Lock, [this] { return FFinished; });
    }
    JoinOnce();
    return FReturnValue;
}

void TThread::JoinOnce() {
    std::call_once(FJoined, [this] {
        if (FThread.joinable())
            FThread.join();
    });
}

TThreadPriority TThread::GetPriority() const {
    std::lock_guard Lock(FMutex);
    return FPriority;
}

void TThread::SetPriority(TThreadPriority Value) {
    std::lock_guard Lock(FMutex);
    FPriority = Value;
    ApplyPriorityLocked();
}

int TThread::GetAppliedNiceValue() const {
    std::lock_guard Lock(FMutex);
    return FAppliedNice;
}

void TThread::ApplyPriorityLocked() {
    if (FLinuxTid == 0)
        return;
    // Linux keeps a nice value per thread; lowering always works, raising
    // only with CAP_SYS_NICE, and then we run at what we have.
    if (::setpriority(PRIO_PROCESS, static_cast<id_t>(FLinuxTid), NiceValueOf(FPriority)) == 0)
        FAppliedNice = NiceValueOf(FPriority);
    else {
        errno = 0;
        int Current = ::getpriority(PRIO_PROCESS, static_cast<id_t>(FLinuxTid));
        if (errno == 0)
            FAppliedNice = Current;
    }
}

void TThread::Synchronize(const TThreadMethod& Method) {
    if (IsMainThread()) {
        Method();
        return;
    }
    TSyncRequest Request{&Method, false, nullptr};
    std::function<void()> Wake;
    {
        std::lock_guard Lock(SyncMutex);
        SyncQueue.push_back(&Request);
        Wake = WakeHook;
    }
    SyncChanged.notify_all();
    if (Wake)
        Wake();
    std::unique_lock Lock(SyncMutex);
    SyncChanged.wait(Lock, [&Request] { return Request.Done; });
    if (Request.Failure)
        std::rethrow_exception(Request.Failure);
}
