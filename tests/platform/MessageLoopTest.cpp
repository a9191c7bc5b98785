#include "platform/MessageLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class MessageLoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MessageLoop::Reset();
        MessageLoop::SetClock([this] { return now; });
    }
    void TearDown() override { MessageLoop::Reset(); }
    std::chrono::milliseconds now{100000};
};

TEST(RegisteredMessages, SameNameSameIdFromC000)
{
    const unsigned a = RegisterWindowMessage("TestMessageA");
    const unsigned b = RegisterWindowMessage("TestMessageB");
    EXPECT_GE(a, 0xC000u);
    EXPECT_NE(a, b);
    EXPECT_EQ(RegisterWindowMessage("TestMessageA"), a);
    EXPECT_EQ(RegisterWindowMessage(""), 0u);
    EXPECT_EQ(RegisterWindowMessage(nullptr), 0u);
}

TEST_F(MessageLoopTest, MainWindowGetsSentMessagesSynchronously)
{
    std::vector<std::tuple<unsigned, WPARAM, LPARAM>> got;
    const auto caller = std::this_thread::get_id();
    std::thread::id seen;
    HWND main = MessageLoop::SetMainWindow([&](unsigned m, WPARAM w, LPARAM l) -> LRESULT {
        got.emplace_back(m, w, l);
        seen = std::this_thread::get_id();
        return 5;
    });
    ASSERT_NE(main, 0u);
    EXPECT_EQ(MessageLoop::SendMessage(main, 0xC123, 7, -3), 5);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], std::make_tuple(0xC123u, WPARAM(7), LPARAM(-3)));
    EXPECT_EQ(seen, caller);
    MessageLoop::ClearMainWindow();
    EXPECT_EQ(MessageLoop::SendMessage(main, 1, 0, 0), 0) << "a destroyed window gets nothing";
    EXPECT_EQ(got.size(), 1u);
}

TEST_F(MessageLoopTest, ChildIdsAreUniquePerParent)
{
    HWND main = MessageLoop::SetMainWindow(nullptr);
    const RECT r{0, 0, 1, 1};
    EXPECT_EQ(MessageLoop::CreateChild(0, 7, "x", WS_CHILD, r, nullptr), 0u) << "no parent";
    HWND c7 = MessageLoop::CreateChild(main, 7, "seven", WS_CHILD | WS_DISABLED, r, nullptr);
    ASSERT_NE(c7, 0u);
    EXPECT_EQ(MessageLoop::CreateChild(main, 7, "again", WS_CHILD, r, nullptr), 0u);
    EXPECT_EQ(MessageLoop::GetParent(c7), main);
    MessageLoop::ClearMainWindow();
    EXPECT_FALSE(MessageLoop::IsWindow(c7)) << "children go with their parent";
}

TEST_F(MessageLoopTest, TimersFireByTheClockUntilKilled)
{
    HWND main = MessageLoop::SetMainWindow(nullptr);
    std::vector<WPARAM> ticks;
    HWND w = MessageLoop::CreateChild(main, 7, "t", WS_CHILD, RECT{0, 0, 1, 1},
                                      [&](unsigned m, WPARAM id, LPARAM) -> LRESULT {
                                          if (m == WM_TIMER) ticks.push_back(id);
                                          return 0;
                                      });
    EXPECT_EQ(MessageLoop::SetTimer(w, 1, 0), 0u) << "period 0";
    EXPECT_EQ(MessageLoop::SetTimer(0x7777, 1, 10), 0u) << "no such window";
    ASSERT_EQ(MessageLoop::SetTimer(w, 1, 2000), 1u);
    now += 2000ms;
    EXPECT_EQ(MessageLoop::RunOnce(0), 1);
    EXPECT_EQ(ticks, std::vector<WPARAM>{1});
    now += 2000ms;
    EXPECT_EQ(MessageLoop::FireDueTimers(), 1) << "periodic";
    EXPECT_EQ(MessageLoop::FireAllTimers(), 1) << "fires without the clock";
    EXPECT_TRUE(MessageLoop::KillTimer(w, 1));
    EXPECT_FALSE(MessageLoop::KillTimer(w, 1));
    now += 10000ms;
    EXPECT_EQ(MessageLoop::FireDueTimers(), 0);
    EXPECT_EQ(MessageLoop::TimerCount(), 0);
    EXPECT_EQ(ticks.size(), 3u);
}

TEST_F(MessageLoopTest, HandlerMayKillAndRestartItsTimer)
{
    HWND main = MessageLoop::SetMainWindow(nullptr);
    HWND w = 0;
    int calls = 0;
    w = MessageLoop::CreateChild(main, 7, "t", WS_CHILD, RECT{0, 0, 1, 1},
                                 [&](unsigned m, WPARAM id, LPARAM) -> LRESULT {
                                     ++calls;
                                     MessageLoop::KillTimer(w, 1);
                                     if (calls < 2) MessageLoop::SetTimer(w, 1, 2000);
                                     return 0;
                                 });
    MessageLoop::SetTimer(w, 1, 2000);
    now += 2000ms;
    EXPECT_EQ(MessageLoop::FireDueTimers(), 1);
    EXPECT_TRUE(MessageLoop::HasTimer(w, 1));
    now += 1000ms;
    EXPECT_EQ(MessageLoop::FireDueTimers(), 0) << "restarted timer counts from the restart";
    now += 1000ms;
    EXPECT_EQ(MessageLoop::FireDueTimers(), 1);
    EXPECT_FALSE(MessageLoop::HasTimer(w, 1));
}

TEST_F(MessageLoopTest, PostedCallsRunOnTheLoopThreadInOrder)
{
    MessageLoop::SetClock(nullptr);
    std::vector<int> order;
    std::thread::id ran;
    std::thread poster([&] {
        MessageLoop::PostCall([&] { order.push_back(1); ran = std::this_thread::get_id(); });
        MessageLoop::PostCall([&] { order.push_back(2); });
    });
    poster.join();
    EXPECT_TRUE(MessageLoop::RunUntil([&] { return order.size() == 2; }, 2000));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(ran, std::this_thread::get_id());

    // A call posted while the loop waits wakes it before the wait runs out.
    std::thread late([] {
        std::this_thread::sleep_for(20ms);
        MessageLoop::PostCall([] {});
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageLoop::RunOnce(5000), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2000ms);
    late.join();
}

} // namespace
