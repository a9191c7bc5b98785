#include "platform/Semaphore.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

bool MakeDirs(const std::string& dir)
{
    std::string cur;
    for (std::size_t i = 0; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') {
            if (!cur.empty() && ::mkdir(cur.c_str(), 0700) != 0 && errno != EEXIST) return false;
        }
        if (i < dir.size()) cur += dir[i];
    }
    return true;
}

// Whoever can write into the lock folder can hold every unit and stall every
// conversion of ours: it must be a real directory of our own that nobody
// else may write to. Empty when it is usable, else the reason.
std::string CheckFolder(const std::string& dir)
{
    if (!MakeDirs(dir))
        return "The lock folder " + dir + " of the named semaphores cannot be created (" + std::strerror(errno) + ")";
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0)
        return "The lock folder " + dir + " of the named semaphores cannot be read (" + std::strerror(errno) + ")";
    if (!S_ISDIR(st.st_mode))
        return "The lock folder " + dir + " of the named semaphores is not a directory";
    if (st.st_uid != ::geteuid())
        return "The lock folder " + dir + " of the named semaphores belongs to another user (uid " +
               std::to_string(st.st_uid) + "); remove it or set TESSEL_SEM_DIR";
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return "The lock folder " + dir + " of the named semaphores may be written by others; make it 0700";
    return std::string();
}

std::atomic<bool (*)()> g_stopWaiting{nullptr};
std::atomic<const char*> g_stopReason{""};

std::string SafeName(const std::string& name)
{
    std::string out;
    for (char c : name) out += (c == '/' || c == '\0') ? '_' : c;
    return out;
}

} // namespace

std::string CSemaphore::Directory()
{
    if (const char* d = std::getenv("TESSEL_SEM_DIR"); d && *d) return d;
    if (const char* r = std::getenv("XDG_RUNTIME_DIR"); r && *r) return std::string(r) + "/tessel";
    return "/tmp/tessel-" + std::to_string(::getuid());
}

CSemaphore::CSemaphore(int initialCount, int maxCount, const char* name)
    : m_name(SafeName(name ? name : "")), m_max(maxCount > 0 ? maxCount : 1)
{
    (void)initialCount;
}

CSemaphore::~CSemaphore()
{
    std::lock_guard<std::mutex> g(m_mutex);
    for (int fd : m_held) ::close(fd);
    m_held.clear();
}

int CSemaphore::TryOnce()
{
    const std::string dir = Directory();
    if (std::string why = CheckFolder(dir); !why.empty()) {
        std::lock_guard<std::mutex> g(m_mutex);
        m_error = why;
        return -1;
    }
    for (int unit = 0; unit < m_max; ++unit) {
        std::string path = dir + "/" + m_name + "." + std::to_string(unit) + ".lock";
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            const int err = errno;
            std::lock_guard<std::mutex> g(m_mutex);
            m_error = "The lock file " + path + " cannot be opened (" + std::strerror(err) + ")";
            return -1;
        }
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = 0;
        fl.l_len = 1;
        // An open file description lock: owned by this descriptor, released
        // by the kernel when it closes, also when the process dies.
        if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) {
            std::lock_guard<std::mutex> g(m_mutex);
            m_held.push_back(fd);
            return 1;
        }
        const int err = errno;
        ::close(fd);
        if (err != EAGAIN && err != EACCES) {
            std::lock_guard<std::mutex> g(m_mutex);
            m_error = "The lock file " + path + " cannot be locked (" + std::strerror(err) + ")";
            return -1;
        }
    }
    return 0;
}

bool CSemaphore::Lock(unsigned timeoutMs)
{
    using namespace std::chrono;
    const auto start = steady_clock::now();
    auto pause = milliseconds(1);
    {
        std::lock_guard<std::mutex> g(m_mutex);
        m_error.clear();
    }
    for (;;) {
        const int r = TryOnce();
        if (r > 0) return true;
        if (r < 0 || timeoutMs == 0) return false;
        if (auto stop = g_stopWaiting.load(); stop && stop()) {
            std::lock_guard<std::mutex> g(m_mutex);
            m_error = g_stopReason.load();
            return false;
        }
        if (timeoutMs != TS_INFINITE && steady_clock::now() - start >= milliseconds(timeoutMs))
            return false;
        std::this_thread::sleep_for(pause);
        if (pause < milliseconds(10)) pause *= 2;
    }
}

bool CSemaphore::Unlock()
{
    std::lock_guard<std::mutex> g(m_mutex);
    if (m_held.empty()) return false;
    ::close(m_held.back());
    m_held.pop_back();
    return true;
}

void CSemaphore::SetStopWaiting(bool (*stop)(), const char* reason)
{
    g_stopReason = reason ? reason : "";
    g_stopWaiting = stop;
}

std::string CSemaphore::LastError() const
{
    std::lock_guard<std::mutex> g(m_mutex);
    return m_error;
}

CSemaphoreHolder::CSemaphoreHolder(CSemaphore& sem, unsigned timeoutMs) : m_sem(sem), m_bHeld(sem.Lock(timeoutMs))
{
    // Waiting for ever and still not holding a unit means the lock files
    // cannot be used: running unthrottled would break the promise of the
    // semaphore, so the work stops here with the reason.
    if (!m_bHeld && timeoutMs == TS_INFINITE) throw CSemaphoreError(sem.LastError());
}

int CSemaphore::HeldCount() const
{
    std::lock_guard<std::mutex> g(m_mutex);
    return int(m_held.size());
}
