#include "platform/Semaphore.h"

#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Built with the tests (a dependency of the test binary): a missing helper
// fails the tests that need it.
const std::string kHelper = std::string(TESSEL_BINARY_DIR) + "/tessel_sem_contender";

// Starts the helper with its output read through a pipe; "exec" makes the
// helper the process pclose waits for.
FILE* Start(const std::string& args) { return ::popen(("exec '" + kHelper + "' " + args).c_str(), "r"); }

// How the helper ended: its exit status, or 128 + the signal that ended it.
int Finish(FILE* p)
{
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

// Starts a holder and waits until it reports that it holds its units.
pid_t SpawnHolder(const std::string& name, int units, int count, FILE** p)
{
    *p = Start("hold " + name + " " + std::to_string(units) + " " + std::to_string(count));
    long pid = -1;
    if (*p && std::fscanf(*p, "held %ld", &pid) == 1)
        return pid_t(pid);
    if (*p)
        Finish(*p);  // it could not take its units and has ended
    return -1;
}

class SemaphoreTest : public ::testing::Test {
protected:
    CTempDir dir;
    ScopedEnv env{"TESSEL_SEM_DIR", dir.Path() + "/sems"};
};

TEST_F(SemaphoreTest, UnitsAreCountedAcrossObjectsOfOneProcess)
{
    CSemaphore a(3, 3, "ThreadTSAccess");
    CSemaphore b(3, 3, "ThreadTSAccess");
    EXPECT_TRUE(a.Lock(0));
    EXPECT_TRUE(a.Lock(0)); // one object may hold several units
    EXPECT_TRUE(b.Lock(0));
    EXPECT_FALSE(b.Lock(0)) << "a fourth unit of a three-unit semaphore";
    CSemaphore single(1, 1, "ThreadTSSingleAccess");
    EXPECT_TRUE(single.Lock(0)) << "a different name is a different semaphore";
    EXPECT_EQ(a.HeldCount(), 2);
    EXPECT_TRUE(a.Unlock());
    EXPECT_TRUE(b.Lock(0));
    EXPECT_TRUE(a.Unlock());
    EXPECT_FALSE(a.Unlock()) << "releasing a unit never taken";
    // A waiter that passes once a unit is released: the processes' test.
}

TEST_F(SemaphoreTest, TimeoutExpiresAndHolderReleasesOnDestruction)
{
    CSemaphore a(1, 1, "ThreadTSSingleAccess");
    {
        CSemaphoreHolder h(a);
        ASSERT_TRUE(h.IsLocked());
        CSemaphore b(1, 1, "ThreadTSSingleAccess");
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_FALSE(b.Lock(60));
        const auto waited = std::chrono::steady_clock::now() - t0;
        EXPECT_GE(waited, std::chrono::milliseconds(55));
        EXPECT_LT(waited, std::chrono::milliseconds(1500));
    }
    CSemaphore c(1, 1, "ThreadTSSingleAccess");
    EXPECT_TRUE(c.Lock(0)) << "the holder released its unit";
}

TEST_F(SemaphoreTest, UnusableDirectoryFailsInsteadOfHanging)
{
    ScopedEnv bad("TESSEL_SEM_DIR", "/proc/no-such-dir/sems");
    CSemaphore s(1, 1, "ThreadTSSingleAccess");
    EXPECT_FALSE(s.Lock(TS_INFINITE));
}

TEST_F(SemaphoreTest, LockFolderOfAnotherUserOrWritableByOthersIsRefused)
{
    // Created by us: private.
    {
        CSemaphore s(1, 1, "ThreadTSSingleAccess");
        ASSERT_TRUE(s.Lock(0));
        struct stat st {};
        ASSERT_EQ(::stat((dir.Path() + "/sems").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    // Someone else's folder: as root one is made for "nobody"; otherwise any
    // root-owned directory stands for it.
    std::string foreign = "/usr";
    if (::geteuid() == 0) {
        foreign = dir.Path() + "/foreign";
        ASSERT_EQ(::mkdir(foreign.c_str(), 0700), 0);
        ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    }
    // Writable by the group alone, and by everyone else alone.
    const std::string group = dir.Path() + "/group", others = dir.Path() + "/others";
    for (const auto& [folder, mode] : {std::pair{group, 0770}, std::pair{others, 0707}}) {
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(folder.c_str(), mode), 0);
    }
    for (const auto& [folder, reason] : {std::pair{foreign, "belongs to another user"},
                                         std::pair{group, "may be written by others"},
                                         std::pair{others, "may be written by others"}}) {
        ScopedEnv env2("TESSEL_SEM_DIR", folder);
        CSemaphore s(3, 3, "ThreadTSAccess");
        EXPECT_FALSE(s.Lock(TS_INFINITE)) << folder;
        EXPECT_NE(s.LastError().find(reason), std::string::npos) << s.LastError();
        EXPECT_NE(s.LastError().find(folder), std::string::npos) << s.LastError();
        try {
            CSemaphoreHolder h(s);
            ADD_FAILURE() << "a holder without a unit: " << folder;
        } catch (const CSemaphoreError& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
        struct stat st {};
        EXPECT_NE(::stat((folder + "/ThreadTSAccess.0.lock").c_str(), &st), 0) << "nothing created in it";
    }
}

TEST_F(SemaphoreTest, FourProcessesNeverExceedTheUnits)
{
    for (auto [name, units] : {std::pair<const char*, int>{"ThreadTSAccess", 3}, {"ThreadTSSingleAccess", 1}}) {
        // Two ints, the holders now and the most at once, zero to start with.
        const std::string shared = dir.Path() + "/count-" + name;
        tessel::test::WriteFile(shared, std::string(2 * sizeof(int), '\0'));

        std::vector<FILE*> helpers;
        for (int i = 0; i < 4; ++i)
            helpers.push_back(Start(std::string("contend ") + name + " " + std::to_string(units) + " 25 4 '" + shared + "'"));
        for (FILE* p : helpers) {
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(Finish(p), 0);
        }
        const std::string bytes = tessel::test::ReadFile(shared);
        int counts[2] = {-1, -1};
        ASSERT_EQ(bytes.size(), sizeof counts);
        std::memcpy(counts, bytes.data(), sizeof counts);
        EXPECT_EQ(counts[0], 0) << name;
        EXPECT_LE(counts[1], units) << name << ": more holders at once than units";
        EXPECT_GE(counts[1], units == 1 ? 1 : 2) << name << ": the processes never overlapped";
    }
}

TEST_F(SemaphoreTest, UnitOfAKilledProcessIsFreeAtOnce)
{
    for (auto [name, units] : {std::pair<const char*, int>{"ThreadTSAccess", 3}, {"ThreadTSSingleAccess", 1}}) {
        FILE* p = nullptr;
        pid_t pid = SpawnHolder(name, units, units, &p);
        ASSERT_GT(pid, 0) << name;
        CSemaphore s(units, units, name);
        EXPECT_FALSE(s.Lock(0)) << name << ": the holder should have every unit";
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        EXPECT_EQ(Finish(p), 128 + SIGKILL);
        for (int i = 0; i < units; ++i)
            EXPECT_TRUE(s.Lock(0)) << name << ": unit " << i << " still held after the kill";
    }
}

} // namespace
