#include "platform/ConcurrentObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

class GatedObject : public CConcurrentObject {
public:
    explicit GatedObject(int result) : m_result(result) {}
    ~GatedObject() override { WaitForEnd(); }
    int Run() override
    {
        m_started = true;
        std::unique_lock<std::mutex> lk(m_m);
        m_cv.wait(lk, [this] { return m_open; });
        return m_result;
    }
    void Open()
    {
        std::lock_guard<std::mutex> g(m_m);
        m_open = true;
        m_cv.notify_all();
    }
    std::atomic<bool> m_started{false};

private:
    int m_result;
    std::mutex m_m;
    std::condition_variable m_cv;
    bool m_open = false;
};

class BaseOnly : public CConcurrentObject {};

TEST(ConcurrentObject, StartsSuspendedAndReportsItsEnd)
{
    GatedObject o(42);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(o.m_started) << "runs before ResumeThread";
    int code = -7;
    EXPECT_FALSE(o.GetExitCodeThread(&code, 20)) << "a suspended thread never ends";
    EXPECT_EQ(code, -7);

    ASSERT_TRUE(o.ResumeThread());
    EXPECT_FALSE(o.ResumeThread()) << "resumed twice";
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(o.GetExitCodeThread(&code, 30));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(25));

    o.Open();
    EXPECT_TRUE(o.GetExitCodeThread(&code, TS_INFINITE));
    EXPECT_EQ(code, 42);
    EXPECT_TRUE(o.GetExitCodeThread(nullptr, 0)) << "null code pointer is allowed";
}

TEST(ConcurrentObject, BaseRunFailsAndDestructorWaitsForARunningThread)
{
    BaseOnly b;
    ASSERT_TRUE(b.ResumeThread());
    int code = 0;
    ASSERT_TRUE(b.GetExitCodeThread(&code, TS_INFINITE));
    EXPECT_EQ(code, -1);
    // Run on the calling thread instead: ended when the call returns, once.
    BaseOnly here;
    ASSERT_TRUE(here.RunOnCallingThread());
    ASSERT_TRUE(here.GetExitCodeThread(&code, 0));
    EXPECT_EQ(code, -1);
    EXPECT_FALSE(here.ResumeThread());

    auto* g = new GatedObject(0);
    g->ResumeThread();
    std::thread opener([g] {
        while (!g->m_started) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        g->Open();
    });
    delete g; // must wait for the run instead of freeing it underneath
    opener.join();
}

} // namespace
