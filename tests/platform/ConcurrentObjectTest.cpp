#include "platform/ConcurrentObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

// Runs until it is opened, then ends with the result it was given.
class GatedObject : public CConcurrentObject {
public:
    explicit GatedObject(int result) : m_result(result) {}
    ~GatedObject() override { WaitForEnd(); }
    int Run() override
    {
        m_started = true;
        m_gate.get_future().wait();
        return m_result;
    }
    void Open() { m_gate.set_value(); }
    std::atomic<bool> m_started{false};

private:
    int m_result;
    std::promise<void> m_gate;
};

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

TEST(ConcurrentObject, DestructorWaitsForARunningThread)
{
    // Run on the calling thread instead: ended when the call returns, once.
    {
        GatedObject here(-1);
        here.Open();
        ASSERT_TRUE(here.RunOnCallingThread());
        int code = 0;
        ASSERT_TRUE(here.GetExitCodeThread(&code, 0));
        EXPECT_EQ(code, -1);
        EXPECT_FALSE(here.ResumeThread());
    }

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
