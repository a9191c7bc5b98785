#pragma once
// A disk that fills up: while the object lives, no file of this process may
// grow beyond the given size, and every write past it fails (EFBIG) after the
// first bytes have landed, whichever way the code under test writes.

#include <csignal>
#include <sys/resource.h>

#include <gtest/gtest.h>

namespace tessel::test {

class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t bytes)
    {
        EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &m_old), 0);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = m_old;
        limit.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~CFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;

private:
    struct rlimit m_old {};
    void (*m_oldHandler)(int) = SIG_DFL;
};

} // namespace tessel::test
