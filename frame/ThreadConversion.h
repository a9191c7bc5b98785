#pragma once
// Base of every conversion job. The constructor runs on the caller's thread
// and settles the job's options; Run() (on the job's own thread) does the
// conversion and leaves the outcome in the members below.

#include "platform/CString.h"
#include "platform/ConcurrentObject.h"
#include "platform/Semaphore.h"

// Outcome codes: one pair per job kind, odd for succeeded, the next even value
// for failed. The constructor stores the odd value, a failed run the even one.
enum : unsigned {
    TS_STATE_ASC_IMPORT = 1,
    TS_STATE_ASC_EXPORT = 3,
    TS_STATE_PAK_IMPORT = 5,
    TS_STATE_PAK_EXPORT = 7,
    TS_STATE_SDF_IMPORT = 9,
    TS_STATE_SDF_EXPORT = 11,
    TS_STATE_SONY_IMPORT = 13,
    TS_STATE_TEAC_IMPORT = 15,
    TS_STATE_UFF_IMPORT = 17,
    TS_STATE_UFF_EXPORT = 19,
    TS_STATE_WAV_IMPORT = 21,
    TS_STATE_WAV_EXPORT = 23,
    TS_STATE_MP3_IMPORT = 25,
    TS_STATE_MP3_EXPORT = 27,
    TS_STATE_TRX_MIXEDSR_EXPORT = 29,
    TS_STATE_EXCEL_IMPORT = 31,
};
inline constexpr unsigned FailedState(unsigned succeeded) { return succeeded + 1; }
inline constexpr bool IsSucceededState(unsigned state) { return (state & 1u) != 0; }

// m_uStringID value for "no text".
inline constexpr unsigned TS_NO_TEXT = 0xFFFFFFFFu;

class CThreadConversion : public CConcurrentObject {
public:
    CThreadConversion(const char* input, long id, long user);
    ~CThreadConversion() override;

    // Accepted only within 0.0..1.0; false (and no change) otherwise.
    bool SetProgress(float f);
    // Adds d when the sum stays within 0.0..1.0; false (and no change) otherwise.
    bool AddProgress(float d);
    float GetProgress();

    // Marks the run failed: the even code of the kind and, unless it is
    // TS_NO_TEXT, the string id of the message.
    void SetFailed(unsigned stringId);

    // True when the process has been asked to stop its conversions
    // (frame/Cancellation.h). The job's message then says that it was
    // interrupted; the caller fails the run as it fails any other way, e.g.
    //   if (Interrupted()) return Fail(...);
    // Cheap enough for once per block.
    bool Interrupted();

protected:
    // An exception that escaped Run(): the job has failed, never succeeded.
    void OnRunException(const char* what, bool outOfMemory) override;

public:

    unsigned m_uState = 0;
    CString m_sText;
    long m_lID;
    long m_lUser;
    CString m_sSource;
    unsigned m_uStringID = 2;
    CString m_sTextArg;
    CString m_sTextAppend;
    CString m_sInput;
    CStringArray m_arsProduced;
    int m_bOverwrite = 0;
    CSemaphore m_semAccess;
    CSemaphore m_semSingleAccess;
    float m_fProgress = 0.5f;
};
