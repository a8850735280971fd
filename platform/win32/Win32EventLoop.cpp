#include "platform/win32/Win32EventLoop.h"

#include <algorithm>
#include <climits>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"NocturoEventLoop";
// Posted to the loop's window when work waits for it (at most one in the
// queue at a time).
constexpr UINT kWakeMessage = WM_APP + 0x4E4C;
constexpr UINT_PTR kSystemTimerId = 1;

// Clears a busy flag however the handler leaves.
class BusyGuard {
public:
    explicit BusyGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyGuard() { flag_ = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    bool& flag_;
};

void RegisterWindowClass() {
    static std::once_flag once;
    static DWORD failure = 0;
    std::call_once(once, [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;  // replaced per window once it knows its loop
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kWindowClass;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) failure = GetLastError();
    });
    if (failure != 0) throw ErrorFromCode(failure, "RegisterClassExW for the event loop");
}

// The loop that gets the console's events; the handler runs on a thread of
// the system's.
std::atomic<Win32EventLoop*> g_ctrlOwner{nullptr};

}  // namespace

Win32EventLoop::Win32EventLoop() {
    RegisterWindowClass();
    hwnd_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
    if (!hwnd_) throw LastError("CreateWindowExW for the event loop");
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32EventLoop::WindowProc));
}

Win32EventLoop::~Win32EventLoop() {
    if (ownsCtrl_) installTerminationHandler(nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

// ---- the window that modal loops dispatch to -------------------------------------

LRESULT CALLBACK Win32EventLoop::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* loop = reinterpret_cast<Win32EventLoop*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!loop || (msg != kWakeMessage && msg != WM_TIMER)) return DefWindowProcW(hwnd, msg, wParam, lParam);
    // Only another message loop (a message box, a dialog, a menu) gets here:
    // the loop's own pump takes these messages without dispatching them.
    // No exception may cross the system's frames: it waits for the loop's
    // next turn.
    try {
        if (msg == kWakeMessage) {
            loop->wakePosted_.store(false);
            loop->runForeign();
            loop->runPosted();
        } else {
            loop->runDueTimers();
        }
    } catch (...) {
        if (!loop->pending_) loop->pending_ = std::current_exception();
    }
    loop->armSystemTimer();
    return 0;
}

// ---- timers and posted work ---------------------------------------------------

TimerId Win32EventLoop::addTimer(std::function<void()> onTick) {
    auto timer = std::make_shared<Timer>();
    timer->onTick = std::move(onTick);
    const TimerId id = nextTimerId_++;
    timers_.emplace(id, std::move(timer));
    return id;
}

void Win32EventLoop::setTimer(TimerId id, int intervalMs, bool enabled) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    Timer& t = *it->second;
    t.intervalMs = std::max(intervalMs, 0);
    t.enabled = enabled;
    t.due = Clock::now() + std::chrono::milliseconds(t.intervalMs);
    armSystemTimer();
}

void Win32EventLoop::removeTimer(TimerId id) { timers_.erase(id); }

void Win32EventLoop::post(std::function<void()> fn) {
    if (!fn) return;
    posted_.push_back(std::move(fn));
    wake();  // for a modal loop, which only sees messages
}

void Win32EventLoop::postFromAnyThread(std::function<void()> fn) {
    if (!fn) return;
    {
        std::lock_guard<std::mutex> lock(foreignMutex_);
        foreign_.push_back(std::move(fn));
        foreignWaiting_.store(true);
    }
    wake();
}

void Win32EventLoop::wake() {
    if (wakePosted_.exchange(true)) return;  // one is on its way
    if (!PostMessageW(hwnd_, kWakeMessage, 0, 0)) wakePosted_.store(false);  // a full queue: the next turn still runs it
}

void Win32EventLoop::setMessageFilter(std::function<bool(MSG&)> filter) { filter_ = std::move(filter); }

void Win32EventLoop::quit(int code) {
    quitRequested_ = true;
    quitCode_ = code;
}

// ---- the console's events -------------------------------------------------------

void Win32EventLoop::installTerminationHandler(std::function<void(DWORD ctrlType)> onEvent) {
    onCtrl_ = std::move(onEvent);
    if (onCtrl_ && !ownsCtrl_) {
        Win32EventLoop* previous = g_ctrlOwner.exchange(this);
        if (previous && previous != this) previous->ownsCtrl_ = false;
        if (!previous && !SetConsoleCtrlHandler(&Win32EventLoop::ConsoleCtrlHandler, TRUE)) {
            g_ctrlOwner.store(nullptr);
            throw LastError("SetConsoleCtrlHandler");
        }
        ownsCtrl_ = true;
    } else if (!onCtrl_ && ownsCtrl_) {
        Win32EventLoop* self = this;
        if (g_ctrlOwner.compare_exchange_strong(self, nullptr))
            SetConsoleCtrlHandler(&Win32EventLoop::ConsoleCtrlHandler, FALSE);
        ownsCtrl_ = false;
    }
}

BOOL WINAPI Win32EventLoop::ConsoleCtrlHandler(DWORD ctrlType) {
    Win32EventLoop* loop = g_ctrlOwner.load();
    if (!loop) return FALSE;  // the system's default: the process ends
    const bool ending = ctrlType == CTRL_CLOSE_EVENT || ctrlType == CTRL_LOGOFF_EVENT || ctrlType == CTRL_SHUTDOWN_EVENT;
    HANDLE done = ending ? CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr;
    loop->postFromAnyThread([loop, ctrlType, done] {
        // Set however the callback leaves, so the waiting handler goes on.
        struct Signal {
            HANDLE h;
            ~Signal() {
                if (h) SetEvent(h);
            }
        } signal{done};
        if (loop->ownsCtrl_ && loop->onCtrl_) {
            auto callback = loop->onCtrl_;  // it may replace itself while it runs
            callback(ctrlType);
        }
    });
    if (done) {
        // The handle stays open if the loop never got to it: the process is
        // about to end anyway, and the posted work still refers to it.
        if (WaitForSingleObject(done, kCloseGraceMs) == WAIT_OBJECT_0) CloseHandle(done);
    }
    return TRUE;
}

// ---- the loop ---------------------------------------------------------------

void Win32EventLoop::yield() { turn(0); }

void Win32EventLoop::idle(int maxMs) {
    const auto now = Clock::now();
    int timeout = 0;
    if (!readyNow(now)) {
        const int next = msUntilNextDue(now);
        timeout = next < 0 ? std::max(maxMs, 0) : std::min(next, std::max(maxMs, 0));
    }
    turn(timeout);
}

int Win32EventLoop::run() {
    while (!quitRequested_) {
        const auto now = Clock::now();
        turn(readyNow(now) ? 0 : msUntilNextDue(now));
    }
    quitRequested_ = false;
    return quitCode_;
}

bool Win32EventLoop::readyNow(Clock::time_point now) const {
    return !posted_.empty() || foreignWaiting_.load() || pending_ || msUntilNextDue(now) == 0;
}

int Win32EventLoop::msUntilNextDue(Clock::time_point now) const {
    bool any = false;
    auto earliest = Clock::time_point::max();
    for (const auto& [id, t] : timers_) {
        if (!t->enabled || t->intervalMs <= 0 || t->busy) continue;
        any = true;
        earliest = std::min(earliest, t->due);
    }
    if (!any) return -1;
    if (earliest <= now) return 0;
    // Rounded up: waking early would only mean another, empty turn.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(earliest - now).count();
    return static_cast<int>(std::min<long long>(ms, INT_MAX - 1));
}

void Win32EventLoop::turn(int timeoutMs) {
    rethrowPending();
    if (timeoutMs != 0) {
        // MWMO_INPUTAVAILABLE: also wake for messages that were already in
        // the queue but not taken (a PeekMessage elsewhere saw them).
        const DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
        if (MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE) == WAIT_FAILED)
            throw LastError("MsgWaitForMultipleObjectsEx in the event loop");
    }
    pumpMessages();
    runForeign();
    runPosted();
    runDueTimers();
    armSystemTimer();
    rethrowPending();
}

void Win32EventLoop::pumpMessages() {
    MSG msg{};
    // PeekMessageW also delivers the messages other threads sent with
    // SendMessage to this thread's windows.
    for (int n = 0; n < kMessagesPerTurn && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
        if (msg.message == WM_QUIT) {
            quit(static_cast<int>(msg.wParam));
            return;
        }
        if (msg.hwnd == hwnd_ && hwnd_) {
            // The loop's own wake and timer messages: what they stand for runs
            // right after the pump, in the loop's order.
            if (msg.message == kWakeMessage) wakePosted_.store(false);
            if (msg.message == kWakeMessage || msg.message == WM_TIMER) continue;
        }
        if (filter_) {
            auto filter = filter_;  // it may replace itself
            if (filter(msg)) continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        rethrowPending();
    }
}

void Win32EventLoop::runForeign() {
    if (!foreignWaiting_.load()) return;
    std::deque<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(foreignMutex_);
        work.swap(foreign_);
        foreignWaiting_.store(false);
    }
    while (!work.empty()) {
        auto fn = std::move(work.front());
        work.pop_front();
        try {
            fn();
        } catch (...) {
            // What was not run yet keeps its place for the next turn.
            std::lock_guard<std::mutex> lock(foreignMutex_);
            while (!work.empty()) {
                foreign_.push_front(std::move(work.back()));
                work.pop_back();
            }
            foreignWaiting_.store(!foreign_.empty());
            throw;
        }
    }
}

void Win32EventLoop::runPosted() {
    // Only what was queued when the turn began: work that posts itself again
    // waits for the next turn. Taken one at a time from the front, so a
    // yield() inside one of them keeps the order.
    for (std::size_t count = posted_.size(); count > 0 && !posted_.empty(); --count) {
        auto fn = std::move(posted_.front());
        posted_.pop_front();
        fn();
    }
}

void Win32EventLoop::runDueTimers() {
    const auto now = Clock::now();
    std::vector<std::pair<Clock::time_point, TimerId>> due;
    for (const auto& [id, t] : timers_)
        if (t->enabled && t->intervalMs > 0 && !t->busy && t->due <= now) due.emplace_back(t->due, id);
    std::sort(due.begin(), due.end());

    for (const auto& [when, id] : due) {
        auto it = timers_.find(id);
        if (it == timers_.end()) continue;
        auto timer = it->second;  // keeps it alive should the tick remove it
        // An earlier tick of this turn may have changed it.
        if (!timer->enabled || timer->intervalMs <= 0 || timer->busy || timer->due > now) continue;
        timer->due = Clock::now() + std::chrono::milliseconds(timer->intervalMs);
        BusyGuard busy(timer->busy);
        timer->onTick();
    }
}

void Win32EventLoop::armSystemTimer() {
    // Only a modal loop needs it: it reaches the window's WM_TIMER and
    // nothing else of this loop.
    const int next = msUntilNextDue(Clock::now());
    const int wanted = next < 0 ? -1 : std::max(next, static_cast<int>(USER_TIMER_MINIMUM));
    if (wanted == systemTimerMs_) return;
    if (wanted < 0) {
        KillTimer(hwnd_, kSystemTimerId);
    } else if (!SetTimer(hwnd_, kSystemTimerId, static_cast<UINT>(wanted), nullptr)) {
        return;  // the loop's own waits still deliver the ticks
    }
    systemTimerMs_ = wanted;
}

void Win32EventLoop::rethrowPending() {
    if (!pending_) return;
    auto e = std::exchange(pending_, nullptr);
    std::rethrow_exception(e);
}

}  // namespace nocturo::platform::win32
