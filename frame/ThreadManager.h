#pragma once
// Runs jobs asynchronously (listed; a hidden message window polls them every
// 2000 ms and sends each outcome to the host's main window) or synchronously
// (the caller waits and gets the record). Module-wide state, host thread only.

#include "interface/TSInterface.h"
#include "frame/ThreadConversion.h"
#include "platform/MessageLoop.h"

#include <functional>

class CThreadManager {
public:
    static constexpr unsigned kTimerId = 1;
    static constexpr unsigned kTimerPeriodMs = 2000;
    static constexpr unsigned kFirstChildId = 7;
    static constexpr const char* kWindowText = "ThreadManager Message window (not visible)";

    // The rule shared by every conversion member of CTSInterface:
    // null record → build the job and start it asynchronously (0, 113 or 4);
    // record with null output → 110, no job is built;
    // otherwise build the job and run it synchronously (0, outcome in *msg).
    // A member without a record passes null. Adding a member is one line:
    //   return CThreadManager::Dispatch(msg, output, [&] { return new CMyJob(...); });
    using JobFactory = std::function<CThreadConversion*()>;
    static unsigned Dispatch(CTSInterface::SMessage* msg, const char* output,
                             const JobFactory& makeJob);

    // Takes ownership of the job in every case.
    static unsigned StartAsync(CThreadConversion* job);
    static unsigned RunSync(CThreadConversion* job, CTSInterface::SMessage* msg);
    static float GetProgress(long id);

    // The window's WM_TIMER handler.
    static void OnTimer(unsigned timerId);

    // Message text of a finished job: m_sText, or the string-table text of
    // m_uStringID, formatted with m_sTextArg when that is not empty, then
    // m_sTextAppend after `appendSeparator`.
    static CString BuildText(const CThreadConversion& job, const char* appendSeparator);

    // Destroys every listed job (waiting for those still running) and the
    // message window; used at module unload.
    static void DestroyAll();

    // Introspection for hosts and tests.
    static int ListedCount();
    static HWND MessageWindow();
    static unsigned TimerId();
};
