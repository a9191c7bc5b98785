#pragma once
// The `tessel` command run as a user runs it: in a scratch folder of the
// running test, with configuration, semaphore and temporary folders of its
// own, so that no call sees a user's settings or another test's units.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/common/Python.h"
#include "tests/common/TempDir.h"

namespace fs = std::filesystem;

struct SResult {
    int status = -1;
    std::string out, err;
};

class CCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = tessel::test::MakeScratch("cmd");
        for (const char* sub : {"config", "sem", "tmp"})
            fs::create_directories(dir / sub);
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string Exe() { return std::string(TESSEL_BINARY_DIR) + "/tessel"; }

    // Shell words that run `tessel ARGS` in the scratch folder with its own
    // folders; the shell makes way for it, so its process is tessel's.
    std::string Command(const std::string& args) const
    {
        return "cd '" + dir.string() + "' && TESSEL_CONFIG_DIR='" + (dir / "config").string() + "' TESSEL_SEM_DIR='" +
               (dir / "sem").string() + "' TMPDIR='" + (dir / "tmp").string() + "' exec '" + Exe() + "' " + args;
    }

    // Runs `tessel ARGS`; standard output and error apart.
    SResult Tessel(const std::string& args)
    {
        SResult r;
        r.status = tessel::test::RunCommand(Command(args) + " 2>'" + (dir / "stderr").string() + "'", &r.out);
        r.err = tessel::test::ReadFile(dir / "stderr");
        return r;
    }

    // Starts `tessel ARGS` the same way without waiting for it.
    pid_t Start(const std::string& args)
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", Command(args).c_str(), static_cast<char*>(nullptr));
            ::_exit(98);
        }
        return pid;
    }

    // The size of a file that may not exist yet, or vanish between two looks.
    static long long FileSize(const fs::path& p)
    {
        std::error_code ec;
        const auto n = fs::file_size(p, ec);
        return ec ? -1LL : (long long)n;
    }

    // Sends `sig` once `amount` says the work is under way, then follows
    // `amount` until the process ends, which must be by exit 128 + sig;
    // returns how far the work went past the signal.
    static long long Interrupt(pid_t pid, const std::function<long long()>& amount, long long begun,
                               int sig = SIGTERM)
    {
        long long at = -1;
        for (int i = 0; i < 20000 && (at = amount()) < begun; ++i)
            ::usleep(1000);
        EXPECT_GE(at, begun) << "the work never began";
        ::kill(pid, sig);
        long long most = at;
        int status = 0;
        for (;;) {
            most = std::max(most, amount());
            if (::waitpid(pid, &status, WNOHANG) == pid)
                break;
            ::usleep(500);
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + sig) << "status " << status;
        return most - at;
    }

    fs::path dir;
};
