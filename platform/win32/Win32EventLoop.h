#pragma once
// The program's loop on Windows: a real message loop, so windows created on
// the same thread get their messages, plus the loop's own timers on the
// monotonic clock and posted work. Everything runs on the thread that
// created the loop; only postFromAnyThread may be called from another one.
//
// Modal loops (a message box, a dialog box, a menu) dispatch messages
// themselves and never come back to run(): the loop keeps a message-only
// window whose WM_TIMER and wake messages run the due timers and posted
// work from there too, so a countdown keeps ticking under an open message
// box.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/IEventLoop.h"
#include "platform/common/LoopWork.h"

namespace nocturo::platform::win32 {

class Win32EventLoop : public IEventLoop {
public:
    Win32EventLoop();
    ~Win32EventLoop() override;
    Win32EventLoop(const Win32EventLoop&) = delete;
    Win32EventLoop& operator=(const Win32EventLoop&) = delete;

    // One turn without blocking: window messages waiting in the queue (sent
    // messages included), work posted from other threads, posted work and
    // due timers.
    void yield() override;
    // The same, but when nothing is ready it first waits up to maxMs (less
    // when a timer falls due sooner) for a message or a post.
    void idle(int maxMs) override;
    TimerId addTimer(std::function<void()> onTick) override;
    // Restarts the interval from now. An interval of 0 or less never ticks.
    // A tick is rescheduled from the moment it started; after a long stall
    // only one tick is delivered, not the missed ones. Unknown ids are ignored.
    void setTimer(TimerId id, int intervalMs, bool enabled) override;
    // May be called from the timer's own tick.
    void removeTimer(TimerId id) override;
    // First in, first out; runs on the next turn (also a turn of a yield()
    // inside a handler, or of a modal loop).
    void post(std::function<void()> fn) override;
    // Waits in MsgWaitForMultipleObjectsEx until the next due timer and
    // dispatches until quit() or a WM_QUIT message (whose wParam is the
    // code). A quit() that comes before run() makes it return at once.
    int run() override;
    void quit(int code) override;

    // A wait of the system's thread pool watches each handle and wakes the
    // loop, so a handle is served under a modal loop too. At most one wait
    // per handle is pending; it is registered again once the handler ran.
    bool addHandleWatch(void* handle, std::function<void()> onSignaled) override;
    void removeHandleWatch(void* handle) override;

    // Thread-safe: queues fn for the loop's thread and wakes it. For the
    // console's Ctrl handler and the service dispatcher's thread. The loop
    // must outlive the threads that call it.
    void postFromAnyThread(std::function<void()> fn);

    // The console's Ctrl+C, Ctrl+Break and close (and, for a service,
    // logoff and shutdown) come to onEvent with their CTRL_* code, on the
    // loop's thread inside run() or yield(). For close, logoff and shutdown
    // the system ends the process as soon as its handler returns, so the
    // handler waits (up to kCloseGraceMs) until onEvent has run. Only one
    // loop at a time gets the events; an empty function gives them back.
    void installTerminationHandler(std::function<void(DWORD ctrlType)> onEvent);
    // The handler SetConsoleCtrlHandler calls, on a thread of the system's;
    // tests call it from a thread of their own.
    static BOOL WINAPI ConsoleCtrlHandler(DWORD ctrlType);
    static constexpr DWORD kCloseGraceMs = 4000;

    // Sees every message taken from the queue first; returning true means
    // it was handled (IsDialogMessageW, TranslateAcceleratorW) and it is not
    // translated or dispatched. An empty function removes the filter.
    void setMessageFilter(std::function<bool(MSG&)> filter);

    // The loop's message-only window (for tests and for code that needs a
    // window to own a timer or receive a notification).
    HWND window() const { return hwnd_; }

    // At most this many messages are taken in one turn, so a window that
    // keeps posting to itself cannot keep the timers from ticking.
    static constexpr int kMessagesPerTurn = 256;

private:
    using Clock = LoopWork::Clock;

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void turn(int timeoutMs);
    void pumpMessages();
    bool readyNow(Clock::time_point now) const;
    void runForeign();
    void wake();
    void armSystemTimer();
    void rethrowPending();

    struct HandleWatch {
        Win32EventLoop* loop = nullptr;
        HANDLE handle = nullptr;
        std::function<void()> onSignaled;
        HANDLE wait = nullptr;  // the pool's one-shot wait; nullptr while none is pending
        std::atomic<bool> signaled{false};
        bool busy = false;
        bool removed = false;
    };
    static VOID CALLBACK HandleSignaled(PVOID context, BOOLEAN timedOut);
    static void armWatch(HandleWatch& w);
    static void disarmWatch(HandleWatch& w);
    void runSignaledHandles();
    std::map<HANDLE, std::shared_ptr<HandleWatch>> handleWatches_;
    std::atomic<bool> handlesWaiting_{false};

    HWND hwnd_ = nullptr;
    LoopWork work_;
    std::function<bool(MSG&)> filter_;
    bool quitRequested_ = false;
    int quitCode_ = 0;
    int systemTimerMs_ = -1;  // what the window's WM_TIMER is set to; -1: off
    std::exception_ptr pending_;  // thrown by work the window procedure ran

    std::function<void(DWORD)> onCtrl_;
    bool ownsCtrl_ = false;

    std::mutex foreignMutex_;
    std::deque<std::function<void()>> foreign_;
    std::atomic<bool> foreignWaiting_{false};
    std::atomic<bool> wakePosted_{false};
};

}  // namespace nocturo::platform::win32
