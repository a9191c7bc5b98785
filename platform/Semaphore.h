#pragma once
// Named counting semaphore shared by every process of the user.
//
// Each unit is one lock file "<dir>/<name>.<unit>.lock" holding an open file
// description lock. The kernel drops such a lock when the last descriptor of
// its description closes, so a unit held by a process that dies (even by
// SIGKILL) is free again at once; and since the lock belongs to the
// description, not to the process, threads of one process contend like
// separate processes.
//
// The directory is $TESSEL_SEM_DIR when set (tests relocate it), otherwise
// $XDG_RUNTIME_DIR/tessel, otherwise /tmp/tessel-<uid>. It is created 0700;
// one that is not ours, or that others may write to, is refused: another
// user could otherwise hold every unit.

#include "platform/ConcurrentObject.h"

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

class CSemaphore {
public:
    // `initialCount` is accepted for the familiar signature; the units that
    // are free are those nobody holds, so it must equal `maxCount`.
    CSemaphore(int initialCount, int maxCount, const char* name);
    ~CSemaphore();
    CSemaphore(const CSemaphore&) = delete;
    CSemaphore& operator=(const CSemaphore&) = delete;

    // Takes one unit; waits up to timeoutMs (0 tries once, TS_INFINITE waits
    // for ever). False on timeout or when the lock files cannot be used.
    bool Lock(unsigned timeoutMs = TS_INFINITE);
    // Releases the unit taken last through this object; false when it holds none.
    bool Unlock();

    // Why the last Lock failed other than by timeout (unusable lock folder
    // or file), empty when it did not.
    std::string LastError() const;

    int HeldCount() const;
    const std::string& Name() const { return m_name; }
    int MaxCount() const { return m_max; }

    // The directory of the lock files, as described above.
    static std::string Directory();

    // A process-wide question asked while a Lock waits: when it answers
    // true, the wait ends without a unit and LastError() gives `reason`.
    // The frame sets it, so that an interrupted job does not wait for units
    // that other processes hold. Null: never.
    static void SetStopWaiting(bool (*stop)(), const char* reason);

private:
    int TryOnce(); // 1 taken, 0 all units busy, -1 lock files unusable

    std::string m_name;
    int m_max;
    mutable std::mutex m_mutex;
    std::vector<int> m_held; // descriptors of the units held, in order taken
    std::string m_error;
};

// The lock files of a semaphore cannot be used; what() says why.
struct CSemaphoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Holds one unit of a semaphore for its lifetime. Without a time limit it
// throws CSemaphoreError when the lock files cannot be used at all; a job's
// run then fails with that text.
class CSemaphoreHolder {
public:
    explicit CSemaphoreHolder(CSemaphore& sem, unsigned timeoutMs = TS_INFINITE);
    ~CSemaphoreHolder() { if (m_bHeld) m_sem.Unlock(); }
    CSemaphoreHolder(const CSemaphoreHolder&) = delete;
    CSemaphoreHolder& operator=(const CSemaphoreHolder&) = delete;
    bool IsLocked() const { return m_bHeld; }

private:
    CSemaphore& m_sem;
    bool m_bHeld;
};
