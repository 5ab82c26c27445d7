// TThread: a worker thread with the class library's life cycle.
//
// A thread is created suspended or running. Execute runs once on the new
// thread; Terminate only raises a flag that Execute is expected to poll.
// Suspend and Resume count: a Resume that arrives before the thread's own
// Suspend is remembered, so that a thread which checks some condition,
// releases a lock and then suspends itself cannot miss a wake-up that came in
// between. Only the thread itself can be suspended (Linux has no safe way to
// stop a thread from outside at an arbitrary point); a Suspend from another
// thread is ignored.
//
// Synchronize hands a call to the main thread and waits for it. The main
// thread runs such calls in CheckSynchronize, which the event loop of the
// program calls whenever the WakeMainThread hook fires. WaitFor on the main
// thread keeps running those calls while it waits, so tearing down a worker
// that is in the middle of a Synchronize cannot deadlock.
//
// A thread created running starts Execute only after AfterConstruction, since
// C++ cannot call the derived Execute from the base constructor; use
// TThread::Start<T>(...) to create and start one in a single step.
#pragma once

#include "Object.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

using TThreadMethod = std::function<void()>;

class TThread : public TObject {
public:
    explicit TThread(bool CreateSuspended);
    // Terminates and joins a thread that is still alive. Owners should
    // Terminate and WaitFor before destroying: by the time this base
    // destructor runs the derived part, which Execute uses, is gone.
    ~TThread() override;

    template <class T, class... Args> static T* Start(Args&&... args) {
        T* Thread = new T(std::forward<Args>(args)...);
        Thread->AfterConstruction();
        return Thread;
    }
    // Lets a thread that was created running enter Execute.
    void AfterConstruction();

    void Resume();
    void Suspend();
    bool GetSuspended() const;

    void Terminate();
    bool GetTerminated() const;
    bool GetFinished() const;

    // Waits until Execute has returned; returns ReturnValue. On the main
    // thread, queued Synchronize calls keep running meanwhile.
    int WaitFor();

    TThreadPriority GetPriority() const;
    // Stored always; applied to the Linux thread as a nice value as far as
    // the process may (raising priority needs privileges and is then
    // silently not applied).
    void SetPriority(TThreadPriority Value);
    // The nice value the thread actually runs at, or 0 before it started.
    int GetAppliedNiceValue() const;

    void Synchronize(const TThreadMethod& Method);

protected:
    virtual void Execute() = 0;
    bool Terminated() const { return GetTerminated(); }
    void SetReturnValue(int Value) { FReturnValue = Value; }

private:
    void Run();
    void ApplyPriorityLocked();
    void JoinOnce();

    mutable std::mutex FMutex;
    std::condition_variable FStateChanged;
    // Counts Suspend minus Resume; at most one Resume ahead (-1) is kept.
    int FSuspendCount;
    bool FStartAllowed;
    bool FAbandoned = false;
    bool FTerminated = false;
    bool FParked = false;
    TThreadPriority FPriority = tpNormal;
    int FLinuxTid = 0;
    int FAppliedNice = 0;
    int FReturnValue = 0;
    bool FFinished = false; // guarded by the synchronisation mutex
    std::once_flag FJoined;
    std::thread FThread;
};

// True on the thread that started the program.
bool IsMainThread();

// Runs the Synchronize calls queued for the main thread. Waits up to
// TimeoutMs for one to arrive when none is queued. Returns true if any ran.
// Must be called on the main thread.
bool CheckSynchronize(int TimeoutMs = 0);

// Called (from the worker) whenever a Synchronize call is queued, so that an
// event loop can wake up and call CheckSynchronize. May be empty.
void SetWakeMainThread(std::function<void()> Hook);
