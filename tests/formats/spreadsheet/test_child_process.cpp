// The child process the xls reader runs in: results arrive in order, a child
// that crashes or stops answering is a failure of the call, not of the caller.

#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <unistd.h>

namespace {

TEST(ChildProcessTest, ResultsCrashesAndSilence)
{
    std::string got, failure;
    EXPECT_TRUE(ChildProcess::RunIsolated(
        [](const ChildProcess::Sender& send) {
            std::string big(200000, 'x');
            return send("ab", 2) && send(big.data(), big.size()) && send("c", 1) ? 0 : 1;
        },
        [&](const void* d, std::size_t n) { got.append(static_cast<const char*>(d), n); }, failure));
    EXPECT_EQ(got.size(), 200003u);
    EXPECT_EQ(got.substr(0, 3), "abx");
    EXPECT_EQ(got.back(), 'c');

    EXPECT_FALSE(ChildProcess::RunIsolated([](const ChildProcess::Sender&) { return 3; },
                                           [](const void*, std::size_t) {}, failure));
    EXPECT_EQ(failure, "the reader process ended with status 1");

    EXPECT_FALSE(ChildProcess::RunIsolated(
        [](const ChildProcess::Sender&) {
            ::raise(SIGSEGV);
            return 0;
        },
        [](const void*, std::size_t) {}, failure));
    // Under AddressSanitizer the fault is caught and the child exits with 1.
    EXPECT_TRUE(failure == "the reader process ended with signal " + std::to_string(SIGSEGV) ||
                failure == "the reader process ended with status 1")
        << failure;

    EXPECT_FALSE(ChildProcess::RunIsolated(
        [](const ChildProcess::Sender&) {
            ::sleep(30);
            return 0;
        },
        [](const void*, std::size_t) {}, failure, 200));
    EXPECT_EQ(failure, "the reader process stopped answering");
}

} // namespace
