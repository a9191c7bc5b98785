#pragma once
// A process-wide request to stop every conversion, set when the user
// interrupts the command (SIGINT, SIGTERM). Jobs look at it once per block,
// a single relaxed atomic read, and fail the way any failure does: partial
// outputs removed, input untouched.

#include <atomic>

namespace JobCancellation {

namespace detail {
inline std::atomic<int> g_signal{0};
}

// Asks every running and later job to stop; `signalNumber` (non-zero) is
// kept for the exit status. Async-signal-safe.
inline void Request(int signalNumber) noexcept
{
    int expected = 0;
    detail::g_signal.compare_exchange_strong(expected, signalNumber ? signalNumber : -1,
                                             std::memory_order_relaxed);
}

inline bool Requested() noexcept { return detail::g_signal.load(std::memory_order_relaxed) != 0; }

// The signal that asked for the stop, 0 when none (or none was named).
inline int Signal() noexcept
{
    const int s = detail::g_signal.load(std::memory_order_relaxed);
    return s > 0 ? s : 0;
}

// Forgets the request (tests).
inline void Clear() noexcept { detail::g_signal.store(0, std::memory_order_relaxed); }

// What an interrupted job says after "Conversion failed."; the whole message
// for code that has no job at hand to build it in the user's language.
inline constexpr const char* kInterruptedText = "Interrupted before it was complete.";
inline constexpr const char* kInterruptedMessage = "Conversion failed. Interrupted before it was complete.";

} // namespace JobCancellation
