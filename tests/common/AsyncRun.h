#pragma once
// One asynchronous start of a conversion as a host sees it: the completion
// message through the main window, and the files the job names as produced.

#include "interface/TSInterface.h"
#include "platform/MessageLoop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessel::test {

// `start` returns the member's result (0 when the job was started).
template <class TStart>
CTSInterface::SMessage RunAsync(TStart start, std::vector<std::string>* produced = nullptr)
{
    std::vector<CTSInterface::SMessage> got;
    MessageLoop::Reset();
    MessageLoop::SetMainWindow([&](unsigned msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == CTSInterface::g_uMsgFromTessel) {
            got.push_back(*reinterpret_cast<CTSInterface::SMessage*>(w));
            if (produced)
                for (const CString& f : *reinterpret_cast<CStringArray*>(l))
                    produced->push_back(f.str());
        }
        return 0;
    });
    EXPECT_EQ(start(), 0u);
    EXPECT_TRUE(MessageLoop::RunUntil(
        [&] {
            MessageLoop::FireAllTimers();
            return !got.empty();
        },
        60000));
    MessageLoop::ClearMainWindow();
    EXPECT_EQ(got.size(), 1u);
    return got.empty() ? CTSInterface::SMessage() : got[0];
}

} // namespace tessel::test
