#pragma once
// Message loop, windows and timers, as far as the module needs them from the
// host's windowing system. The host's thread runs the loop; window handlers and
// timers are called on that thread only. Calls may be posted from any thread.
//
// Tests replace the clock (SetClock) and drive timers with FireDueTimers, so no
// test has to sleep through a 2000 ms period.

#include "platform/CString.h"

#include <chrono>
#include <cstdint>
#include <functional>

using HWND = std::uintptr_t;  // 0 is no window
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr unsigned WM_TIMER = 0x0113;
inline constexpr unsigned WS_CHILD = 0x40000000u;
inline constexpr unsigned WS_VISIBLE = 0x10000000u;
inline constexpr unsigned WS_DISABLED = 0x08000000u;

struct RECT { long left, top, right, bottom; };

using WindowProc = std::function<LRESULT(unsigned msg, WPARAM, LPARAM)>;

// Registered message ids: one process-wide name → id table from 0xC000 on;
// the same name always gives the same id. 0 for a null or empty name.
unsigned RegisterWindowMessage(const char* name);

namespace MessageLoop {

using Clock = std::function<std::chrono::milliseconds()>;

// The host's main window: the host registers its callback; it gets the
// messages sent to the main window, synchronously. Returns the handle.
HWND SetMainWindow(WindowProc proc);
void ClearMainWindow();   // also destroys its children
HWND GetMainWindow();     // 0 when the host has none

// Child windows. CreateChild fails (returns 0) when the parent does not
// exist, or when its id is already used by another child of that parent.
HWND CreateChild(HWND parent, unsigned childId, const char* text, unsigned style,
                 const RECT& rect, WindowProc proc);
bool DestroyWindow(HWND wnd);
bool IsWindow(HWND wnd);
bool HasChildId(HWND parent, unsigned childId);
// Lowest id >= first that no child of parent uses.
unsigned FirstFreeChildId(HWND parent, unsigned first);
CString GetWindowText(HWND wnd);
unsigned GetWindowStyle(HWND wnd);
RECT GetWindowRect(HWND wnd);
unsigned GetChildId(HWND wnd);
HWND GetParent(HWND wnd);

// Calls the window's procedure at once, on the calling thread.
LRESULT SendMessage(HWND wnd, unsigned msg, WPARAM w, LPARAM l);

// Timers: periodic WM_TIMER (wparam = id) to the window until killed.
// SetTimer returns the id (0 on failure: no such window or period 0).
unsigned SetTimer(HWND wnd, unsigned id, unsigned periodMs);
bool KillTimer(HWND wnd, unsigned id);
bool HasTimer(HWND wnd, unsigned id);
int TimerCount();

// Posted calls run on the loop's thread in posting order.
void PostCall(std::function<void()> fn);

// Runs posted calls and due timers; waits up to maxWaitMs for something to
// do. Returns the number of calls and timer messages dispatched.
int RunOnce(unsigned maxWaitMs);
// Runs the loop until `done` is true or timeoutMs has passed; true when done.
bool RunUntil(const std::function<bool()>& done, unsigned timeoutMs);
// Dispatches the timers that are due now (clock as set) without waiting.
int FireDueTimers();
// Dispatches every timer once as if its period had elapsed.
int FireAllTimers();

// Clock used for timer due times; null restores the steady clock.
void SetClock(Clock clock);
std::chrono::milliseconds Now();

// Forgets every window, timer and posted call (between tests).
void Reset();

} // namespace MessageLoop
