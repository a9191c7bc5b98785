#include "platform/Semaphore.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
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
    if (!MakeDirs(dir)) return -1;
    for (int unit = 0; unit < m_max; ++unit) {
        std::string path = dir + "/" + m_name + "." + std::to_string(unit) + ".lock";
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return -1;
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
        if (err != EAGAIN && err != EACCES) return -1;
    }
    return 0;
}

bool CSemaphore::Lock(unsigned timeoutMs)
{
    using namespace std::chrono;
    const auto start = steady_clock::now();
    auto pause = milliseconds(1);
    for (;;) {
        const int r = TryOnce();
        if (r > 0) return true;
        if (r < 0 || timeoutMs == 0) return false;
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

int CSemaphore::HeldCount() const
{
    std::lock_guard<std::mutex> g(m_mutex);
    return int(m_held.size());
}
