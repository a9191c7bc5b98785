#include "frame/ThreadManager.h"

#include "platform/Resources.h"

#include <algorithm>
#include <list>
#include <new>
#include <vector>

namespace {

// A listed job. A tick that has taken a finished job for reporting marks it
// claimed: the host's handler of an earlier report may run a nested message
// loop, and the nested tick must leave what the outer one still holds alone.
// The serial tells an entry apart from a later one at a reused address.
struct SListed {
    CThreadConversion* job;
    unsigned long long serial;
    bool claimed = false;
};

// Module-wide state; touched only on the host's thread. The list is never
// destroyed, as the module's unload hook may run after static destructors.
std::list<SListed>& Jobs()
{
    static auto* jobs = new std::list<SListed>;
    return *jobs;
}
unsigned long long g_nextSerial = 1;
HWND g_wnd = 0;
unsigned g_timerId = 0;

bool EnsureWindow()
{
    if (g_wnd && MessageLoop::IsWindow(g_wnd)) return true;
    g_wnd = 0;
    g_timerId = 0;
    const HWND parent = MessageLoop::GetMainWindow();
    if (!parent) return false;
    const unsigned childId = MessageLoop::FirstFreeChildId(parent, CThreadManager::kFirstChildId);
    g_wnd = MessageLoop::CreateChild(parent, childId, CThreadManager::kWindowText,
                                     WS_CHILD | WS_DISABLED, RECT{0, 0, 1, 1},
                                     [](unsigned msg, WPARAM w, LPARAM) -> LRESULT {
                                         if (msg == WM_TIMER) CThreadManager::OnTimer(unsigned(w));
                                         return 0;
                                     });
    return g_wnd != 0;
}

// The listed job's state is written by its own thread; read it as one word.
unsigned ReadState(const CThreadConversion* job)
{
    return __atomic_load_n(&job->m_uState, __ATOMIC_ACQUIRE);
}

} // namespace

unsigned CThreadManager::Dispatch(CTSInterface::SMessage* msg, const char* output,
                                  const JobFactory& makeJob)
{
    if (msg && !output) return 110;
    CThreadConversion* job = nullptr;
    try {
        job = makeJob();
    } catch (const std::bad_alloc&) {
        return 6;
    } catch (...) {
        return 3;
    }
    if (!job) return 3;
    return msg ? RunSync(job, msg) : StartAsync(job);
}

unsigned CThreadManager::StartAsync(CThreadConversion* job)
{
    if (!job) return 4;
    const unsigned state = job->m_uState;
    if (state != 0) {
        for (const SListed& listed : Jobs()) {
            if (listed.job->m_sInput == job->m_sInput && ReadState(listed.job) == state) {
                delete job; // never resumed: nothing runs
                return 113;
            }
        }
    }
    if (!job->ResumeThread()) {
        delete job;
        return 4;
    }
    Jobs().push_back(SListed{job, g_nextSerial++});
    if (!EnsureWindow()) return 4; // the job runs and stays listed
    if (g_timerId == 0 || !MessageLoop::HasTimer(g_wnd, g_timerId))
        g_timerId = MessageLoop::SetTimer(g_wnd, kTimerId, kTimerPeriodMs);
    return 0;
}

unsigned CThreadManager::RunSync(CThreadConversion* job, CTSInterface::SMessage* msg)
{
    if (!job) return 4;
    // The caller waits for the outcome anyway: the job runs on its thread.
    // A thread of its own would only add a handoff at each end, which a busy
    // machine turns into waits for a core.
    if (!job->RunOnCallingThread())
        job->SetFailed(4);
    if (msg) {
        msg->uState = job->m_uState;
        msg->lID = job->m_lID;
        msg->lUser = job->m_lUser;
        msg->sSource = job->m_sSource;
        msg->sText = BuildText(*job, "");
    }
    delete job;
    return 0;
}

float CThreadManager::GetProgress(long id)
{
    for (const SListed& listed : Jobs())
        if (listed.job->m_lID == id) return listed.job->GetProgress();
    return -1.0f;
}

CString CThreadManager::BuildText(const CThreadConversion& job, const char* appendSeparator)
{
    CString text = job.m_sText;
    if (text.IsEmpty() && job.m_uStringID != TS_NO_TEXT) {
        text = LoadText(job.m_uStringID);
        if (!job.m_sTextArg.IsEmpty()) text = FormatTextArg(text, job.m_sTextArg);
        if (!job.m_sTextAppend.IsEmpty()) {
            text += appendSeparator;
            text += job.m_sTextAppend;
        }
    }
    return text;
}

void CThreadManager::OnTimer(unsigned timerId)
{
    if (timerId != kTimerId) return;
    MessageLoop::KillTimer(g_wnd, kTimerId);
    g_timerId = 0;
    // Claim every job that has ended before the first message goes out. The
    // host may start jobs and run a nested loop (whose ticks report other
    // jobs) while it handles a message; claimed entries stay listed, so they
    // still count as duplicates, until this tick reports them.
    std::vector<unsigned long long> claimed;
    for (SListed& listed : Jobs()) {
        if (listed.claimed || !listed.job->GetExitCodeThread(nullptr, 0)) continue;
        listed.claimed = true;
        claimed.push_back(listed.serial);
    }
    for (unsigned long long serial : claimed) {
        auto it = std::find_if(Jobs().begin(), Jobs().end(),
                               [serial](const SListed& l) { return l.serial == serial; });
        if (it == Jobs().end()) continue; // destroyed meanwhile (module unload)
        CThreadConversion* job = it->job;
        CTSInterface::SMessage msg;
        msg.uState = job->m_uState;
        msg.sText = BuildText(*job, " ");
        msg.lID = job->m_lID;
        msg.lUser = job->m_lUser;
        msg.sSource = job->m_sSource;
        CStringArray produced;
        produced.Copy(job->m_arsProduced);
        delete job;
        Jobs().erase(it);
        if (HWND main = MessageLoop::GetMainWindow())
            MessageLoop::SendMessage(main, CTSInterface::g_uMsgFromTessel,
                                     reinterpret_cast<WPARAM>(&msg), reinterpret_cast<LPARAM>(&produced));
    }
    if (!Jobs().empty() && g_wnd && (g_timerId == 0 || !MessageLoop::HasTimer(g_wnd, g_timerId)))
        g_timerId = MessageLoop::SetTimer(g_wnd, kTimerId, kTimerPeriodMs);
}

void CThreadManager::DestroyAll()
{
    while (!Jobs().empty()) {
        CThreadConversion* job = Jobs().front().job;
        Jobs().pop_front();
        // A job still running works on its own object: wait before freeing it.
        if (job->WasResumed()) job->GetExitCodeThread(nullptr, TS_INFINITE);
        delete job;
    }
    if (g_wnd) {
        MessageLoop::KillTimer(g_wnd, kTimerId);
        MessageLoop::DestroyWindow(g_wnd);
    }
    g_wnd = 0;
    g_timerId = 0;
}

int CThreadManager::ListedCount() { return int(Jobs().size()); }
HWND CThreadManager::MessageWindow() { return g_wnd; }
unsigned CThreadManager::TimerId() { return g_timerId; }
