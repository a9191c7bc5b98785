#include "platform/ConcurrentObject.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <system_error>

CConcurrentObject::~CConcurrentObject()
{
    WaitForEnd();
}

void CConcurrentObject::WaitForEnd()
{
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id())
            m_thread.detach(); // destroyed from its own run: nothing to wait for
        else
            m_thread.join();
    }
}

bool CConcurrentObject::ResumeThread()
{
    {
        std::lock_guard<std::mutex> g(m_stateMutex);
        if (m_bResumed) return false;
        m_bResumed = true;
    }
    try {
        m_thread = std::thread(&CConcurrentObject::ThreadMain, this);
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> g(m_stateMutex);
        m_iExitCode = -1;
        m_bEnded = true;
        m_endedCv.notify_all();
        return false;
    }
    return true;
}

bool CConcurrentObject::RunOnCallingThread()
{
    {
        std::lock_guard<std::mutex> g(m_stateMutex);
        if (m_bResumed) return false;
        m_bResumed = true;
    }
    ThreadMain();
    return true;
}

void CConcurrentObject::ThreadMain()
{
    int code = -1;
    // Nothing may leave a job's thread; an escaped exception is a failed run.
    bool escaped = false, outOfMemory = false;
    std::string what;
    try {
        code = Run();
    } catch (const std::bad_alloc&) {
        escaped = outOfMemory = true;
    } catch (const std::exception& e) {
        escaped = true;
        try { what = e.what(); } catch (...) {}
    } catch (...) {
        escaped = true;
    }
    if (escaped) {
        code = -1;
        try { OnRunException(what.c_str(), outOfMemory); } catch (...) {}
    }
    std::lock_guard<std::mutex> g(m_stateMutex);
    m_iExitCode = code;
    m_bEnded = true;
    m_endedCv.notify_all();
}

bool CConcurrentObject::GetExitCodeThread(int* code, unsigned timeoutMs)
{
    std::unique_lock<std::mutex> lk(m_stateMutex);
    if (!m_bEnded && timeoutMs != 0 && m_bResumed) {
        if (timeoutMs == TS_INFINITE)
            m_endedCv.wait(lk, [this] { return m_bEnded; });
        else
            m_endedCv.wait_for(lk, std::chrono::milliseconds(timeoutMs), [this] { return m_bEnded; });
    }
    if (!m_bEnded) return false;
    if (code) *code = m_iExitCode;
    return true;
}

bool CConcurrentObject::WasResumed() const
{
    std::lock_guard<std::mutex> g(m_stateMutex);
    return m_bResumed;
}

void CConcurrentObject::OnRunException(const char*, bool)
{
    std::fprintf(stderr, "tessel: INTERNAL_ERROR: exception escaped a thread run\n");
}

int CConcurrentObject::Run()
{
    std::fprintf(stderr, "tessel: INTERNAL_ERROR: thread object without its own run\n");
    return -1;
}
