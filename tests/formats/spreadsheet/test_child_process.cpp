// The child process the xls and ods readers run in: results arrive in order,
// a child that fails, crashes or stops answering is a failure of the call,
// not of the caller.

#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
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
    EXPECT_EQ(got, "ab" + std::string(200000, 'x') + "c");

    const std::string status1 = "the reader process ended with status 1";
    const struct {
        std::function<int(const ChildProcess::Sender&)> child;
        std::string text, otherText;   // otherText: under AddressSanitizer, which catches the fault and exits with 1
        int waitMs;
    } kCases[] = {
        {[](const ChildProcess::Sender&) { return 3; }, status1, status1, 60000},
        {[](const ChildProcess::Sender&) { return ::raise(SIGSEGV); },
         "the reader process ended with signal " + std::to_string(SIGSEGV), status1, 60000},
        {[](const ChildProcess::Sender&) { return int(::sleep(30)); }, "the reader process stopped answering", "", 200},
    };
    for (const auto& k : kCases) {
        EXPECT_FALSE(ChildProcess::RunIsolated(k.child, [](const void*, std::size_t) {}, failure, k.waitMs));
        EXPECT_TRUE(failure == k.text || failure == k.otherText) << failure;
    }
}

} // namespace
