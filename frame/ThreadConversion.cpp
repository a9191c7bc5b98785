#include "frame/ThreadConversion.h"

#include "frame/Cancellation.h"
#include "platform/Resources.h"

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

bool CThreadConversion::Interrupted()
{
    if (!JobCancellation::Requested()) return false;
    // A finished text, so that whatever string id the failing path sets, the
    // host learns why the job stopped.
    m_sText = LoadText(3);
    if (!m_sText.IsEmpty()) m_sText += " ";
    m_sText += JobCancellation::kInterruptedText;
    return true;
}

void CThreadConversion::OnRunException(const char* what, bool outOfMemory)
{
    // Whatever the run had set before, its outcome is this failure.
    if (m_uState != 0 && IsSucceededState(m_uState)) m_uState = FailedState(m_uState);
    m_sText.Empty();
    m_sTextArg.Empty();
    m_sTextAppend.Empty();
    m_uStringID = outOfMemory ? 6 : 3;
    // The exception's own words follow the failure text, on both paths alike.
    if (!outOfMemory && what && *what) {
        m_sText = LoadText(3);
        if (!m_sText.IsEmpty()) m_sText += " ";
        m_sText += what;
    }
}
