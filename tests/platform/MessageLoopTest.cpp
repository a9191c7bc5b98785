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

TEST(RegisteredMessages, DistinctNamesDistinctIdsFromC000)
{
    const unsigned a = RegisterWindowMessage("TestMessageA");
    const unsigned b = RegisterWindowMessage("TestMessageB");
    EXPECT_GE(a, 0xC000u);
    EXPECT_NE(a, b);
    EXPECT_EQ(RegisterWindowMessage(""), 0u);
    EXPECT_EQ(RegisterWindowMessage(nullptr), 0u);
}

TEST_F(MessageLoopTest, MainWindowGetsSentMessagesSynchronously)
{
    // That the handler runs on the sending thread, the frame's reports show.
    std::vector<std::tuple<unsigned, WPARAM, LPARAM>> got;
    HWND main = MessageLoop::SetMainWindow([&](unsigned m, WPARAM w, LPARAM l) -> LRESULT {
        got.emplace_back(m, w, l);
        return 5;
    });
    ASSERT_NE(main, 0u);
    EXPECT_EQ(MessageLoop::SendMessage(main, 0xC123, 7, -3), 5);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], std::make_tuple(0xC123u, WPARAM(7), LPARAM(-3)));
    MessageLoop::ClearMainWindow();
    EXPECT_EQ(MessageLoop::SendMessage(main, 1, 0, 0), 0) << "a destroyed window gets nothing";
    EXPECT_EQ(got.size(), 1u);
}

TEST_F(MessageLoopTest, ChildIdsAreUniquePerParent)
{
    HWND main = MessageLoop::SetMainWindow(nullptr);
    const RECT r{0, 0, 1, 1};
    HWND c7 = MessageLoop::CreateChild(main, 7, "seven", WS_CHILD | WS_DISABLED, r, nullptr);
    ASSERT_NE(c7, 0u);
    EXPECT_EQ(MessageLoop::CreateChild(main, 7, "again", WS_CHILD, r, nullptr), 0u);
    EXPECT_EQ(MessageLoop::GetParent(c7), main);
    MessageLoop::ClearMainWindow();
    EXPECT_FALSE(MessageLoop::IsWindow(c7)) << "children go with their parent";
}

// The timer's period, its repetition and its end are the frame's tests (the
// job manager's tick); here a handler that kills and restarts its own timer.
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
