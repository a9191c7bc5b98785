#include "frame/ThreadConversion.h"

CThreadConversion::CThreadConversion(const char* input, long id, long user)
    : m_lID(id),
      m_lUser(user),
      m_sSource(input),
      m_sInput(input),
      m_semAccess(3, 3, "ThreadTSAccess"),
      m_semSingleAccess(1, 1, "ThreadTSSingleAccess")
{
}

CThreadConversion::~CThreadConversion()
{
    // The run uses the derived parts of the object; a job destroyed while it
    // still runs (module unload) must wait for it here at the latest.
    WaitForEnd();
}

bool CThreadConversion::SetProgress(float f)
{
    if (!(f >= 0.0f && f <= 1.0f)) return false; // also rejects NaN
    std::lock_guard<CCriticalSection> g(m_csLock);
    m_fProgress = f;
    return true;
}

bool CThreadConversion::AddProgress(float d)
{
    std::lock_guard<CCriticalSection> g(m_csLock);
    const float sum = m_fProgress + d;
    if (!(sum >= 0.0f && sum <= 1.0f)) return false;
    m_fProgress = sum;
    return true;
}

float CThreadConversion::GetProgress()
{
    std::lock_guard<CCriticalSection> g(m_csLock);
    return m_fProgress;
}

void CThreadConversion::SetFailed(unsigned stringId)
{
    if (IsSucceededState(m_uState)) m_uState = FailedState(m_uState);
    if (stringId != TS_NO_TEXT) m_uStringID = stringId;
}
