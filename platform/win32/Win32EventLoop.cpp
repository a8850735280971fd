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
    // No wait of the pool may wake a window that is gone.
    for (auto& [handle, w] : handleWatches_) disarmWatch(*w);
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
            loop->runSignaledHandles();
            loop->work_.runPosted();
        } else {
            loop->work_.runDueTimers();
        }
    } catch (...) {
        if (!loop->pending_) loop->pending_ = std::current_exception();
    }
    loop->armSystemTimer();
    return 0;
}

// ---- timers and posted work ---------------------------------------------------

TimerId Win32EventLoop::addTimer(std::function<void()> onTick) { return work_.addTimer(std::move(onTick)); }

void Win32EventLoop::setTimer(TimerId id, int intervalMs, bool enabled) {
    work_.setTimer(id, intervalMs, enabled);
    armSystemTimer();
}

void Win32EventLoop::removeTimer(TimerId id) { work_.removeTimer(id); }

void Win32EventLoop::post(std::function<void()> fn) {
    if (!fn) return;
    work_.post(std::move(fn));
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

// ---- handles -----------------------------------------------------------------------

bool Win32EventLoop::addHandleWatch(void* handle, std::function<void()> onSignaled) {
    if (!handle || handle == INVALID_HANDLE_VALUE) throw ErrorFromCode(ERROR_INVALID_HANDLE, "addHandleWatch");
    removeHandleWatch(handle);
    auto w = std::make_shared<HandleWatch>();
    w->loop = this;
    w->handle = static_cast<HANDLE>(handle);
    w->onSignaled = std::move(onSignaled);
    armWatch(*w);
    handleWatches_[w->handle] = std::move(w);
    return true;
}

void Win32EventLoop::removeHandleWatch(void* handle) {
    auto it = handleWatches_.find(static_cast<HANDLE>(handle));
    if (it == handleWatches_.end()) return;
    std::shared_ptr<HandleWatch> w = std::move(it->second);
    handleWatches_.erase(it);
    w->removed = true;
    disarmWatch(*w);  // a running handler keeps w alive through its own reference
}

VOID CALLBACK Win32EventLoop::HandleSignaled(PVOID context, BOOLEAN timedOut) {
    // On a thread of the pool: only mark and wake; the loop's thread checks
    // the handle and runs the handler.
    (void)timedOut;
    auto* w = static_cast<HandleWatch*>(context);
    w->signaled.store(true);
    w->loop->handlesWaiting_.store(true);
    w->loop->wake();
}

void Win32EventLoop::armWatch(HandleWatch& w) {
    if (w.wait || w.removed) return;
    // WT_EXECUTEINWAITTHREAD: the callback is short and needs no thread of its own.
    if (!RegisterWaitForSingleObject(&w.wait, w.handle, &Win32EventLoop::HandleSignaled, &w, INFINITE,
                                     WT_EXECUTEONLYONCE | WT_EXECUTEINWAITTHREAD)) {
        w.wait = nullptr;
        throw LastError("RegisterWaitForSingleObject for a handle watch");
    }
}

void Win32EventLoop::disarmWatch(HandleWatch& w) {
    if (!w.wait) return;
    // INVALID_HANDLE_VALUE: returns once a callback under way has finished,
    // so none runs on a watch that is gone.
    UnregisterWaitEx(w.wait, INVALID_HANDLE_VALUE);
    w.wait = nullptr;
}

void Win32EventLoop::runSignaledHandles() {
    if (!handlesWaiting_.exchange(false)) return;
    std::vector<std::shared_ptr<HandleWatch>> ready;
    for (const auto& [handle, w] : handleWatches_)
        if (w->signaled.exchange(false)) ready.push_back(w);
    // Their one-shot waits have fired: freed here, registered again once
    // each handler has run (or at once for one that does not run now).
    for (const auto& w : ready) disarmWatch(*w);
    std::size_t next = 0;
    try {
        for (; next < ready.size(); ++next) {
            HandleWatch& w = *ready[next];
            if (w.removed || w.busy) continue;  // a busy one is armed again when its handler returns
            if (WaitForSingleObject(w.handle, 0) != WAIT_OBJECT_0 || !w.onSignaled) {
                armWatch(w);
                continue;
            }
            struct Release {
                HandleWatch& w;
                ~Release() {
                    w.busy = false;
                    if (w.removed) return;
                    try {
                        armWatch(w);
                    } catch (...) {
                        // The handle is no longer valid: the watch stays idle.
                    }
                }
            } release{w};
            w.busy = true;
            auto fn = w.onSignaled;  // it may replace or remove its own watch
            fn();
        }
    } catch (...) {
        for (++next; next < ready.size(); ++next) {
            HandleWatch& w = *ready[next];
            if (!w.busy && !w.removed) {
                try {
                    armWatch(w);
                } catch (...) {
                }
            }
        }
        throw;
    }
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
        const int next = work_.msUntilNextDue(now);
        timeout = next < 0 ? std::max(maxMs, 0) : std::min(next, std::max(maxMs, 0));
    }
    turn(timeout);
}

int Win32EventLoop::run() {
    while (!quitRequested_) {
        const auto now = Clock::now();
        turn(readyNow(now) ? 0 : work_.msUntilNextDue(now));
    }
    quitRequested_ = false;
    return quitCode_;
}

bool Win32EventLoop::readyNow(Clock::time_point now) const {
    return work_.hasPosted() || foreignWaiting_.load() || handlesWaiting_.load() || pending_ ||
           work_.msUntilNextDue(now) == 0;
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
    runSignaledHandles();
    work_.runPosted();
    work_.runDueTimers();
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

void Win32EventLoop::armSystemTimer() {
    // Only a modal loop needs it: it reaches the window's WM_TIMER and
    // nothing else of this loop.
    const int next = work_.msUntilNextDue(Clock::now());
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
