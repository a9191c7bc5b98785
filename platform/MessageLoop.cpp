#include "platform/MessageLoop.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Window {
    HWND parent = 0;
    unsigned childId = 0;
    CString text;
    unsigned style = 0;
    RECT rect{0, 0, 0, 0};
    WindowProc proc;
};

struct Timer {
    HWND wnd;
    unsigned id;
    unsigned periodMs;
    std::chrono::milliseconds due;
};

struct LoopState {
    std::mutex m;
    std::condition_variable cv;
    std::map<HWND, Window> windows;
    HWND mainWindow = 0;
    HWND nextHandle = 0x100;
    std::vector<Timer> timers;
    std::deque<std::function<void()>> posted;
    MessageLoop::Clock clock;
};

// Never destroyed: the module's unload hook may run after static destructors.
LoopState& S()
{
    static LoopState* s = new LoopState;
    return *s;
}

std::chrono::milliseconds SteadyNow()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch());
}

std::chrono::milliseconds NowLocked(LoopState& s)
{
    return s.clock ? s.clock() : SteadyNow();
}

void DestroyLocked(LoopState& s, HWND wnd)
{
    std::vector<HWND> children;
    for (auto& [h, w] : s.windows)
        if (w.parent == wnd) children.push_back(h);
    for (HWND c : children) DestroyLocked(s, c);
    std::erase_if(s.timers, [wnd](const Timer& t) { return t.wnd == wnd; });
    s.windows.erase(wnd);
    if (s.mainWindow == wnd) s.mainWindow = 0;
}

// Dispatches WM_TIMER for the timers selected by `pick`; each is rescheduled
// before its handler runs, and skipped when an earlier handler killed it.
int DispatchTimers(bool all)
{
    LoopState& s = S();
    std::vector<std::pair<HWND, unsigned>> due;
    {
        std::lock_guard<std::mutex> g(s.m);
        const auto now = NowLocked(s);
        for (auto& t : s.timers) {
            if (all || t.due <= now) {
                due.emplace_back(t.wnd, t.id);
                t.due = now + std::chrono::milliseconds(t.periodMs);
            }
        }
    }
    int n = 0;
    for (auto [wnd, id] : due) {
        if (!MessageLoop::HasTimer(wnd, id)) continue;
        MessageLoop::SendMessage(wnd, WM_TIMER, id, 0);
        ++n;
    }
    return n;
}

int RunPosted()
{
    LoopState& s = S();
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard<std::mutex> g(s.m);
        calls.swap(s.posted);
    }
    for (auto& fn : calls) fn();
    return int(calls.size());
}

} // namespace

unsigned RegisterWindowMessage(const char* name)
{
    static auto* m = new std::mutex;
    static auto* ids = new std::map<std::string, unsigned>;
    if (!name || !*name) return 0;
    std::lock_guard<std::mutex> g(*m);
    auto [it, inserted] = ids->emplace(name, 0xC000u + unsigned(ids->size()));
    return it->second;
}

namespace MessageLoop {

HWND SetMainWindow(WindowProc proc)
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    if (s.mainWindow) DestroyLocked(s, s.mainWindow);
    HWND h = s.nextHandle++;
    Window w;
    w.text = "Host main window";
    w.style = WS_VISIBLE;
    w.proc = std::move(proc);
    s.windows.emplace(h, std::move(w));
    s.mainWindow = h;
    return h;
}

void ClearMainWindow()
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    if (s.mainWindow) DestroyLocked(s, s.mainWindow);
}

HWND GetMainWindow()
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    return s.mainWindow;
}

HWND CreateChild(HWND parent, unsigned childId, const char* text, unsigned style,
                 const RECT& rect, WindowProc proc)
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    if (!parent || !s.windows.count(parent)) return 0;
    for (auto& [h, w] : s.windows)
        if (w.parent == parent && w.childId == childId) return 0;
    HWND h = s.nextHandle++;
    Window w;
    w.parent = parent;
    w.childId = childId;
    w.text = text;
    w.style = style;
    w.rect = rect;
    w.proc = std::move(proc);
    s.windows.emplace(h, std::move(w));
    return h;
}

bool DestroyWindow(HWND wnd)
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    if (!s.windows.count(wnd)) return false;
    DestroyLocked(s, wnd);
    return true;
}

bool IsWindow(HWND wnd)
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    return wnd && s.windows.count(wnd);
}

bool HasChildId(HWND parent, unsigned childId)
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    for (auto& [h, w] : s.windows)
        if (w.parent == parent && w.childId == childId) return true;
    return false;
}

unsigned FirstFreeChildId(HWND parent, unsigned first)
{
    unsigned id = first;
    while (HasChildId(parent, id)) ++id;
    return id;
}

#define TS_WINDOW_FIELD(fn, type, field, fallback)          \
    type fn(HWND wnd)                                        \
    {                                                        \
        LoopState& s = S();                                  \
        std::lock_guard<std::mutex> g(s.m);                  \
        auto it = s.windows.find(wnd);                       \
        return it == s.windows.end() ? fallback : it->second.field; \
    }
TS_WINDOW_FIELD(GetWindowText, CString, text, CString())
TS_WINDOW_FIELD(GetWindowStyle, unsigned, style, 0u)
TS_WINDOW_FIELD(GetWindowRect, RECT, rect, (RECT{0, 0, 0, 0}))
TS_WINDOW_FIELD(GetChildId, unsigned, childId, 0u)
TS_WINDOW_FIELD(GetParent, HWND, parent, HWND(0))
#undef TS_WINDOW_FIELD

LRESULT SendMessage(HWND wnd, unsigned msg, WPARAM w, LPARAM l)
{
    WindowProc proc;
    {
        LoopState& s = S();
        std::lock_guard<std::mutex> g(s.m);
        auto it = s.windows.find(wnd);
        if (it == s.windows.end()) return 0;
        proc = it->second.proc;
    }
    return proc ? proc(msg, w, l) : 0;
}

unsigned SetTimer(HWND wnd, unsigned id, unsigned periodMs)
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    if (!s.windows.count(wnd) || periodMs == 0) return 0;
    const auto due = NowLocked(s) + std::chrono::milliseconds(periodMs);
    for (auto& t : s.timers) {
        if (t.wnd == wnd && t.id == id) { // replaces, as SetTimer does
            t.periodMs = periodMs;
            t.due = due;
            return id;
        }
    }
    s.timers.push_back({wnd, id, periodMs, due});
    s.cv.notify_all();
    return id;
}

bool KillTimer(HWND wnd, unsigned id)
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    return std::erase_if(s.timers, [&](const Timer& t) { return t.wnd == wnd && t.id == id; }) > 0;
}

bool HasTimer(HWND wnd, unsigned id)
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    for (auto& t : s.timers)
        if (t.wnd == wnd && t.id == id) return true;
    return false;
}

int TimerCount()
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    return int(s.timers.size());
}

void PostCall(std::function<void()> fn)
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    s.posted.push_back(std::move(fn));
    s.cv.notify_all();
}

int RunOnce(unsigned maxWaitMs)
{
    int n = RunPosted() + DispatchTimers(false);
    if (n > 0 || maxWaitMs == 0) return n;
    LoopState& s = S();
    {
        std::unique_lock<std::mutex> lk(s.m);
        auto wait = std::chrono::milliseconds(maxWaitMs);
        const auto now = NowLocked(s);
        for (auto& t : s.timers)
            if (t.due - now < wait) wait = t.due > now ? t.due - now : std::chrono::milliseconds(0);
        if (s.posted.empty() && wait.count() > 0)
            s.cv.wait_for(lk, wait, [&] { return !s.posted.empty(); });
    }
    return RunPosted() + DispatchTimers(false);
}

bool RunUntil(const std::function<bool()>& done, unsigned timeoutMs)
{
    const auto start = SteadyNow();
    while (!done()) {
        const auto spent = SteadyNow() - start;
        if (spent >= std::chrono::milliseconds(timeoutMs)) return false;
        const auto left = std::chrono::milliseconds(timeoutMs) - spent;
        RunOnce(unsigned(std::min<long long>(left.count(), 50)));
    }
    return true;
}

int FireDueTimers() { return DispatchTimers(false); }
int FireAllTimers() { return DispatchTimers(true); }

void SetClock(Clock clock)
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    s.clock = std::move(clock);
}

std::chrono::milliseconds Now()
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    return NowLocked(s);
}

void Reset()
{
    LoopState& s = S();
    std::lock_guard<std::mutex> g(s.m);
    s.windows.clear();
    s.timers.clear();
    s.posted.clear();
    s.mainWindow = 0;
    s.clock = nullptr;
}

} // namespace MessageLoop
