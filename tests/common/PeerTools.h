#pragma once
// A test that needs a peer tool (python3 with numpy or soundfile, sox,
// ffmpeg, ...) skips on a developer's machine that lacks it; in CI (the
// variable CI is set) a missing tool is a failure, so that no check goes
// quietly unrun there.
//
//     if (!HaveSox()) TESSEL_SKIP_OR_FAIL("sox is not installed");

#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <string_view>

namespace tessel::test {
// True when the shell finds the program (asked once per program).
inline bool HaveProgram(const std::string& program)
{
    static std::map<std::string, bool> known;
    auto it = known.find(program);
    if (it == known.end())
        it = known.emplace(program, std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0).first;
    return it->second;
}

inline bool InContinuousIntegration()
{
    const char* ci = std::getenv("CI");
    return ci && *ci && std::string_view(ci) != "0" && std::string_view(ci) != "false";
}
} // namespace tessel::test

#define TESSEL_SKIP_OR_FAIL(message)                                                   \
    do {                                                                               \
        if (::tessel::test::InContinuousIntegration()) {                               \
            GTEST_FAIL() << "peer tool missing (CI is set): " << message;              \
        } else {                                                                       \
            GTEST_SKIP() << message;                                                   \
        }                                                                              \
    } while (0)
