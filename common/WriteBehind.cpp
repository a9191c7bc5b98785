#include "common/WriteBehind.h"

#include <algorithm>
#include <limits>
#include <new>

CWriteBehind::CWriteBehind(std::size_t blockBytes, int depth)
    : m_blockBytes(blockBytes), m_slots(std::size_t(std::max(depth, 2)))
{
    // Every block in one allocation, never zero-filled: the job writes what it
    // fills and nothing more.
    const std::size_t stride = (std::max<std::size_t>(blockBytes, 1) + 63) / 64 * 64;
    if (stride > std::numeric_limits<std::size_t>::max() / m_slots.size())
        throw std::bad_alloc();
    m_storage = LargeBuffer::Allocate(stride * m_slots.size());
    if (!m_storage)
        throw std::bad_alloc();
    unsigned char* p = m_storage.get();
    for (std::size_t i = 0; i < m_slots.size(); ++i)
        m_slots[i].block = p + i * stride;
    m_thread = std::thread(&CWriteBehind::Loop, this);
}

CWriteBehind::~CWriteBehind()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
        m_failed = true;  // drops what is still queued
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CWriteBehind::RethrowLocked()
{
    if (m_error) {
        std::exception_ptr e = m_error;
        m_error = nullptr;
        std::rethrow_exception(e);
    }
}

unsigned char* CWriteBehind::Acquire()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::size_t n = m_slots.size();
    if (!m_failed && m_queued - m_written == n) {
        // Every block is queued: sleep until half of them are written, so
        // that a job faster than its writes wakes once per few blocks rather
        // than once per block (each sleep and wake is a context switch).
        m_wantFree = std::max<std::size_t>(1, n / 2);
        m_changed.wait(lock, [this, n] { return m_failed || n - (m_queued - m_written) >= m_wantFree; });
        m_wantFree = 0;
    }
    RethrowLocked();
    if (m_failed)
        return nullptr;
    m_acquired = true;
    return m_slots[m_queued % m_slots.size()].block;
}

void CWriteBehind::Submit(Write write)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_acquired || m_failed)
            return;
        m_acquired = false;
        m_slots[m_queued % m_slots.size()].write = std::move(write);
        ++m_queued;
    }
    m_changed.notify_all();
}

bool CWriteBehind::Finish()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_failed || m_written == m_queued; });
    RethrowLocked();
    return !m_failed;
}

void CWriteBehind::Loop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_closing || (!m_failed && m_written < m_queued); });
        if (m_failed || m_written == m_queued) {
            if (m_closing)
                return;
            continue;
        }
        SSlot& slot = m_slots[m_written % m_slots.size()];
        lock.unlock();
        bool ok = false;
        std::exception_ptr error;
        try {
            ok = slot.write(slot.block);
        } catch (...) {
            error = std::current_exception();
        }
        slot.write = nullptr;
        lock.lock();
        if (ok) {
            ++m_written;
        } else {
            m_failed = true;
            m_error = error;
        }
        // Only a job that can go on now is woken: one waiting for the queue
        // to drain (Finish) or for as many free blocks as it asked for.
        if (m_failed || m_written == m_queued ||
            (m_wantFree && m_slots.size() - (m_queued - m_written) >= m_wantFree))
            m_changed.notify_all();
    }
}
