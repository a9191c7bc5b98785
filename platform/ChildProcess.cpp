#include "platform/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ChildProcess {

bool RunIsolated(const std::function<int(const Sender& send)>& work,
                 const std::function<void(const void* data, std::size_t size)>& receive, std::string& failure,
                 int idleTimeoutMs)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        failure = std::string("no pipe: ") + std::strerror(errno);
        return false;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        failure = std::string("no child process: ") + std::strerror(errno);
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (pid == 0) {
        ::close(fds[0]);
        const int out = fds[1];
        const Sender send = [out](const void* data, std::size_t size) {
            const char* p = static_cast<const char*>(data);
            while (size > 0) {
                const ssize_t n = ::write(out, p, size);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) return false;
                p += n;
                size -= std::size_t(n);
            }
            return true;
        };
        const int rc = work(send);
        // No destructors, no exit handlers: the parent owns all of that.
        ::_exit(rc == 0 ? 0 : 1);
    }
    ::close(fds[1]);
    char buffer[1 << 16];
    bool silent = false;
    for (;;) {
        pollfd pfd{fds[0], POLLIN, 0};
        const int ready = ::poll(&pfd, 1, idleTimeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            // A reader caught in a loop, or a child that cannot go on.
            silent = true;
            ::kill(pid, SIGKILL);
            break;
        }
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        receive(buffer, std::size_t(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (silent) {
        failure = "the reader process stopped answering";
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    if (WIFSIGNALED(status))
        failure = std::string("the reader process ended with signal ") + std::to_string(WTERMSIG(status));
    else
        failure = "the reader process ended with status " + std::to_string(WEXITSTATUS(status));
    return false;
}

}  // namespace ChildProcess
