#pragma once
// Thread wrapper of the host's basics library: an object that owns one worker
// thread. The thread is created suspended (it does not run before
// ResumeThread) and runs the virtual Run(); its result is the thread's exit
// code.

#include <condition_variable>
#include <mutex>
#include <thread>

// Infinite timeout for the waits of this layer.
inline constexpr unsigned TS_INFINITE = 0xFFFFFFFFu;

// A critical section. BasicLockable, so std::lock_guard works on it as well.
class CCriticalSection {
public:
    void Lock() { m_m.lock(); }
    void Unlock() { m_m.unlock(); }
    void lock() { m_m.lock(); }
    void unlock() { m_m.unlock(); }

private:
    std::mutex m_m;
};

class CConcurrentObject {
public:
    CConcurrentObject() = default;
    CConcurrentObject(const CConcurrentObject&) = delete;
    CConcurrentObject& operator=(const CConcurrentObject&) = delete;

    // The destructor of a still running thread waits for it to end: the run
    // works on the object, so freeing it underneath would be fatal. A thread
    // that was never resumed never runs.
    virtual ~CConcurrentObject();

    // Starts the suspended thread. Returns false when it was already started
    // or the thread could not be created (the object then counts as ended
    // with exit code -1).
    bool ResumeThread();

    // Runs the suspended object's run on the calling thread, exactly as a
    // resumed thread would (an escaping exception is a failed run), for a
    // caller that would do nothing but wait for it: no thread, no handoff.
    // False when it was already started.
    bool RunOnCallingThread();

    // True once the thread has ended; the exit code is stored through `code`
    // when it is not null. timeoutMs 0 polls, TS_INFINITE waits. A thread
    // that was never resumed has not ended.
    bool GetExitCodeThread(int* code, unsigned timeoutMs);

    bool WasResumed() const;

    // The thread procedure. The base version reports an internal error and
    // fails: every concrete class replaces it.
    virtual int Run();

protected:
    // Called on the worker thread when an exception escapes Run(), before the
    // thread counts as ended. The base reports an internal error.
    virtual void OnRunException(const char* what, bool outOfMemory);

    // Guards what the owning thread and the worker both touch.
    CCriticalSection m_csLock;

    // Waits for the worker; for derived destructors, which must not let the
    // run continue on a half-destroyed object.
    void WaitForEnd();

private:
    void ThreadMain();

    std::thread m_thread;
    mutable std::mutex m_stateMutex;
    std::condition_variable m_endedCv;
    bool m_bResumed = false;
    bool m_bEnded = false;
    int m_iExitCode = 0;
};
