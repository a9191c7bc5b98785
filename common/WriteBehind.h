#pragma once
// Writes filled blocks on a thread of its own, a few blocks behind the job
// that fills them. A conversion that turns every value must copy each block
// out of the page cache, turn it and copy it into the output's pages; on one
// thread those steps follow each other, while cp's single in-kernel copy
// leaves the machine's second core idle. Handing the write to that core lets
// the kernel's copy of one block run beside the reading and turning of the
// next.
//
// The job fills the block it acquired and submits it with the call that
// writes it (which may write it in several pieces at several offsets). The
// writes run in submission order. The first write that fails (or throws)
// stops the rest: later blocks are dropped, Acquire answers nullptr and
// Finish false (or rethrows), so the job reports its own result and removes
// its output. Destroying the object without Finish drops what is queued and
// joins the thread: a job that fails on its own side never waits for writes
// of an output it is about to remove.

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/LargeBuffer.h"

class CWriteBehind {
public:
    using Write = std::function<bool(const unsigned char* block)>;

    // `depth` blocks of `blockBytes` each (at least two, so that one is
    // filled while another is written).
    explicit CWriteBehind(std::size_t blockBytes, int depth = 3);
    ~CWriteBehind();
    CWriteBehind(const CWriteBehind&) = delete;
    CWriteBehind& operator=(const CWriteBehind&) = delete;

    std::size_t BlockBytes() const { return m_blockBytes; }

    // A block to fill, waiting while every block is queued; nullptr once a
    // write has failed. Rethrows what a write threw.
    unsigned char* Acquire();
    // Queues the block last acquired; `write` runs on the writing thread.
    void Submit(Write write);
    // Waits for every queued write. False if one failed; rethrows what a
    // write threw.
    bool Finish();

private:
    struct SSlot {
        unsigned char* block = nullptr;  // in m_storage
        Write write;
    };
    void Loop();
    void RethrowLocked();

    const std::size_t m_blockBytes;
    LargeBuffer::CBuffer m_storage;  // every slot's block
    std::vector<SSlot> m_slots;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Ring positions: [m_written, m_queued) are queued, m_queued is the one
    // the job fills after Acquire.
    std::size_t m_written = 0, m_queued = 0;
    // Free blocks the job waits for in Acquire (0: it does not wait); the
    // writing thread wakes it only then.
    std::size_t m_wantFree = 0;
    bool m_acquired = false;
    bool m_failed = false;
    bool m_closing = false;
    std::exception_ptr m_error;
    std::thread m_thread;
};
