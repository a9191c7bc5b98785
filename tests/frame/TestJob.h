#pragma once
// A job for the frame tests: runs until its gate opens, then leaves the outcome
// it was told to leave.

#include "frame/ThreadConversion.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct Gate {
    void Open()
    {
        std::lock_guard<std::mutex> g(m);
        open = true;
        cv.notify_all();
    }
    void Wait()
    {
        std::unique_lock<std::mutex> lk(m);
        cv.wait(lk, [this] { return open; });
    }
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
};

struct JobPlan {
    unsigned kind = TS_STATE_WAV_IMPORT;   // succeeded code of the job kind
    bool fail = false;
    unsigned stringId = 2;                  // text id left by the run
    CString text, arg, append;
    std::shared_ptr<Gate> gate;             // null: the run ends at once
    std::vector<CString> produced;
    std::function<void(class CTestJob&)> during;  // called inside the run
};

inline std::atomic<int> g_jobRuns{0};
inline std::atomic<int> g_jobsDestroyed{0};

class CTestJob : public CThreadConversion {
public:
    CTestJob(const char* input, long id, long user, JobPlan plan)
        : CThreadConversion(input, id, user), m_plan(std::move(plan))
    {
        m_uState = m_plan.kind;
    }
    ~CTestJob() override
    {
        WaitForEnd();
        ++g_jobsDestroyed;
    }
    int Run() override
    {
        ++g_jobRuns;
        if (m_plan.during) m_plan.during(*this);
        if (m_plan.gate) m_plan.gate->Wait();
        for (auto& p : m_plan.produced) m_arsProduced.Add(p);
        if (!m_plan.text.IsEmpty()) m_sText = m_plan.text;
        m_sTextArg = m_plan.arg;
        m_sTextAppend = m_plan.append;
        if (m_plan.fail) {
            SetFailed(m_plan.stringId);
            return -1;
        }
        m_uStringID = m_plan.stringId;
        return 0;
    }

private:
    JobPlan m_plan;
};
