#include "platform/Spawn.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Spawn {
namespace {

int StatusOf(int status)
{
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 255;
}

// A descriptor that becomes readable when the child ends, so that the wait
// returns at once instead of at the next tick; -1 where the kernel has none.
int OpenPidFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    return -1;
#endif
}

}  // namespace

int RunAndWait(const std::string& program, const std::vector<std::string>& args,
               const std::function<bool()>& stop, std::string& failure, const std::function<void()>& started)
{
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    if (argv.empty()) argv.push_back(const_cast<char*>(program.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The command takes its signals with sigwait and so blocks them in every
    // thread; the converter must get them as any program does.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t dflt;
    sigemptyset(&dflt);
    sigaddset(&dflt, SIGINT);
    sigaddset(&dflt, SIGTERM);
    sigaddset(&dflt, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &dflt);
    // A group of its own: a stopped conversion ends the converter and
    // whatever the converter started.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        failure = program + ": " + std::strerror(rc);
        return kNotStarted;
    }
    // posix_spawn returns once the child has called exec.
    if (started) started();

    const int pidfd = OpenPidFd(pid);
    bool stopped = false;
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) {
            failure = std::string("waiting for ") + program + ": " + std::strerror(errno);
            status = -1;
            break;
        }
        if (!stopped && stop && stop()) {
            stopped = true;
            ::kill(-pid, SIGTERM);
        }
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            ::poll(&p, 1, 200);
        } else {
            ::usleep(20000);
        }
    }
    if (pidfd >= 0) ::close(pidfd);
    if (status == -1) return kNotStarted;
    return StatusOf(status);
}

std::string ExecutableDirectory()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string path(buf, std::size_t(n));
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1);
}

}  // namespace Spawn
