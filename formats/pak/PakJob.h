#pragma once
// What the PAK import and export jobs share around their conversion.

#include "frame/ThreadConversion.h"

// Result texts both jobs give.
namespace PakResult {
constexpr unsigned kNoMemory = 6;
constexpr unsigned kCannotOpen = 10;
constexpr unsigned kWriteFailed = 11;
}  // namespace PakResult

// The thread's result of a job whose conversion came out `ok`, after which
// the job's state tells success (`succeeded`) or failure.
inline int PakRunResult(CThreadConversion& job, bool ok, unsigned succeeded)
{
    job.m_uState = ok ? succeeded : FailedState(succeeded);
    return ok ? 0 : -1;
}
