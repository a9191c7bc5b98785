// Blocks written on a thread of their own: order, reuse of the blocks, and
// what a failing or throwing write does to the rest.

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/WriteBehind.h"

namespace {

// Many more blocks than slots, each filled with its own number: a block
// handed out again before its write ran would show up as a repeated or a
// missing number, a write run out of order as a shuffled one.
TEST(WriteBehind, WritesEveryBlockInOrderAsFilled) {
    // Two blocks, and five, of which the job waits for two to come free.
    for (int depth : {2, 5}) {
        std::vector<unsigned char> out;
        {
            CWriteBehind w(64, depth);
            for (int i = 0; i < 500; ++i) {
                unsigned char* b = w.Acquire();
                ASSERT_NE(b, nullptr);
                const std::size_t n = std::size_t(1 + i % 64);
                std::memset(b, i & 0xff, n);
                w.Submit([&out, n](const unsigned char* p) {
                    out.insert(out.end(), p, p + n);
                    return true;
                });
            }
            ASSERT_TRUE(w.Finish());
        }
        std::size_t at = 0;
        for (int i = 0; i < 500; ++i)
            for (std::size_t k = 0; k < std::size_t(1 + i % 64); ++k, ++at)
                ASSERT_EQ(out.at(at), i & 0xff) << "block " << i << " of " << depth;
        EXPECT_EQ(at, out.size());
    }
}

TEST(WriteBehind, FailedOrThrowingWriteStopsTheRest) {
    {
        CWriteBehind w(16, 3);
        int runs = 0;
        unsigned char* b = nullptr;
        int submitted = 0;
        // The third write fails; the job sees it at the latest when it asks
        // for a block after every slot was queued behind the failure.
        while ((b = w.Acquire()) != nullptr && submitted < 100) {
            w.Submit([&runs](const unsigned char*) { return ++runs != 3; });
            ++submitted;
        }
        EXPECT_EQ(b, nullptr);
        EXPECT_LT(submitted, 100);
        EXPECT_FALSE(w.Finish());
        EXPECT_EQ(runs, 3);
    }
    {
        CWriteBehind w(16, 2);
        ASSERT_NE(w.Acquire(), nullptr);
        w.Submit([](const unsigned char*) -> bool { throw std::runtime_error("disk gone"); });
        try {
            w.Finish();
            FAIL() << "the write's exception was swallowed";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "disk gone");
        }
    }
}

}  // namespace
