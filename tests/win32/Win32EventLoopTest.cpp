// The Windows message loop: the loop's timers and posted work, messages to
// windows of the loop's thread, work from other threads, and the modal loops
// that dispatch messages without it.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/Win32EventLoop.h"

namespace {

using namespace std::chrono_literals;
using nocturo::platform::TimerId;
using nocturo::platform::win32::Win32EventLoop;
using Clock = std::chrono::steady_clock;

bool yieldUntil(Win32EventLoop& loop, const std::function<bool()>& done, std::chrono::milliseconds limit = 3000ms) {
    const auto until = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > until) return false;
        loop.idle(5);
    }
    return true;
}

void yieldFor(Win32EventLoop& loop, std::chrono::milliseconds span) {
    const auto until = Clock::now() + span;
    while (Clock::now() < until) loop.idle(2);
}

// A message-only window of the test's thread that records what it gets.
class RecordingWindow {
public:
    RecordingWindow() {
        static bool registered = false;
        if (!registered) {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = &RecordingWindow::Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"NocturoLoopTestWindow";
            RegisterClassExW(&wc);
            registered = true;
        }
        hwnd = CreateWindowExW(0, L"NocturoLoopTestWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~RecordingWindow() { DestroyWindow(hwnd); }
    RecordingWindow(const RecordingWindow&) = delete;
    RecordingWindow& operator=(const RecordingWindow&) = delete;

    HWND hwnd = nullptr;
    std::vector<UINT> received;
    std::vector<DWORD> threads;
    std::function<void(UINT)> onMessage;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && msg >= WM_APP && msg < WM_APP + 100) {
            self->received.push_back(msg);
            self->threads.push_back(GetCurrentThreadId());
            if (self->onMessage) self->onMessage(msg);
            return 42;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
};

// What a message box or a dialog box does while it is open: a loop of its
// own that never returns to the program's loop.
void RunModalLoopFor(std::chrono::milliseconds span) {
    const auto until = Clock::now() + span;
    UINT_PTR timer = SetTimer(nullptr, 0, 5, nullptr);  // wakes the wait now and then, as the caret would
    MSG msg{};
    while (Clock::now() < until && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, timer);
}

// ---- timers -----------------------------------------------------------------------

TEST(Win32EventLoopTimers, TicksAtTheirIntervalsInOrderOfDueTime) {
    Win32EventLoop loop;
    std::vector<std::string> order;
    std::vector<Clock::time_point> fastTicks;
    const auto start = Clock::now();
    TimerId fast = loop.addTimer([&] {
        order.push_back("fast");
        fastTicks.push_back(Clock::now());
    });
    TimerId slow = loop.addTimer([&] {
        order.push_back("slow");
        loop.quit(7);
    });
    loop.setTimer(fast, 30, true);
    loop.setTimer(slow, 200, true);
    EXPECT_EQ(loop.run(), 7);
    ASSERT_GE(fastTicks.size(), 3u);
    EXPECT_EQ(order.front(), "fast");
    EXPECT_EQ(order.back(), "slow");
    EXPECT_GE(fastTicks[0] - start, 30ms);  // never early
    for (std::size_t i = 1; i < fastTicks.size(); ++i) EXPECT_GE(fastTicks[i] - fastTicks[i - 1], 29ms) << i;
    EXPECT_LE(fastTicks.size(), 7u);  // 200 / 30: no extra ticks
}

TEST(Win32EventLoopTimers, StartDisabledAndFollowEnableDisable) {
    Win32EventLoop loop;
    int count = 0;
    TimerId id = loop.addTimer([&] { ++count; });
    yieldFor(loop, 30ms);
    EXPECT_EQ(count, 0);  // never set

    loop.setTimer(id, 5, true);
    loop.setTimer(id, 5, false);
    yieldFor(loop, 30ms);
    EXPECT_EQ(count, 0);

    loop.setTimer(id, 0, true);  // an interval of 0 does not tick
    yieldFor(loop, 30ms);
    EXPECT_EQ(count, 0);

    loop.setTimer(id, 5, true);
    EXPECT_TRUE(yieldUntil(loop, [&] { return count >= 3; }));
    loop.removeTimer(id);
    const int after = count;
    yieldFor(loop, 30ms);
    EXPECT_EQ(count, after);

    loop.setTimer(12345, 1, true);  // unknown ids are ignored
    loop.removeTimer(12345);
}

TEST(Win32EventLoopTimers, TimerMayRemoveItselfDuringItsTick) {
    Win32EventLoop loop;
    int count = 0;
    TimerId id = 0;
    id = loop.addTimer([&] {
        ++count;
        loop.removeTimer(id);
        loop.yield();
        ++count;
    });
    loop.setTimer(id, 1, true);
    EXPECT_TRUE(yieldUntil(loop, [&] { return count >= 2; }));
    yieldFor(loop, 20ms);
    EXPECT_EQ(count, 2);
}

TEST(Win32EventLoopTimers, BusyTimerIsNotReenteredWhileItsTickYields) {
    Win32EventLoop loop;
    int depth = 0, maxDepth = 0, ticksA = 0, ticksB = 0, ticksBDuringA = 0;
    TimerId a = loop.addTimer([&] {
        maxDepth = std::max(maxDepth, ++depth);
        if (++ticksA == 1) {
            const int before = ticksB;
            yieldFor(loop, 150ms);  // a long wait of the kind the countdown does
            ticksBDuringA = ticksB - before;
        }
        --depth;
    });
    TimerId b = loop.addTimer([&] { ++ticksB; });
    loop.setTimer(a, 5, true);
    loop.setTimer(b, 10, true);
    EXPECT_TRUE(yieldUntil(loop, [&] { return ticksA >= 2; }));
    EXPECT_EQ(maxDepth, 1);
    EXPECT_GE(ticksBDuringA, 3);  // other timers keep ticking meanwhile
}

TEST(Win32EventLoopTimers, OneLateTickAfterALongStallNotTheMissedOnes) {
    Win32EventLoop loop;
    int count = 0;
    TimerId id = loop.addTimer([&] {
        if (++count == 1) std::this_thread::sleep_for(200ms);  // several intervals missed
    });
    loop.setTimer(id, 30, true);
    ASSERT_TRUE(yieldUntil(loop, [&] { return count == 1; }));
    loop.yield();
    EXPECT_EQ(count, 2);  // one late tick at once ...
    loop.yield();
    loop.yield();
    EXPECT_EQ(count, 2);  // ... and then the interval again
}

TEST(Win32EventLoopRun, QuitFromATimerEndsRunWithItsCode) {
    Win32EventLoop loop;
    TimerId id = loop.addTimer([&] { loop.quit(5); });
    loop.setTimer(id, 20, true);
    const auto start = Clock::now();
    EXPECT_EQ(loop.run(), 5);
    EXPECT_GE(Clock::now() - start, 20ms);
    // The loop can run again, and a quit before run returns at once.
    loop.setTimer(id, 0, false);
    loop.quit(9);
    EXPECT_EQ(loop.run(), 9);
}

TEST(Win32EventLoopRun, WaitsWithoutSpinning) {
    Win32EventLoop loop;
    TimerId id = loop.addTimer([&] { loop.quit(0); });
    loop.setTimer(id, 300, true);
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel0, &user0);
    loop.run();
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel1, &user1);
    auto ticks = [](FILETIME k, FILETIME u) {
        return (ULARGE_INTEGER{{k.dwLowDateTime, k.dwHighDateTime}}.QuadPart +
                ULARGE_INTEGER{{u.dwLowDateTime, u.dwHighDateTime}}.QuadPart) /
               10000;  // 100 ns units to ms
    };
    EXPECT_LT(ticks(kernel1, user1) - ticks(kernel0, user0), 150u);
}

// ---- posted work --------------------------------------------------------------------

TEST(Win32EventLoopPost, WorkPostedFromAHandlerRunsAfterItInOrder) {
    Win32EventLoop loop;
    std::vector<std::string> order;
    loop.post([&] {
        order.push_back("first begins");
        loop.post([&] { order.push_back("posted by first"); });
        order.push_back("first ends");
    });
    loop.post([&] { order.push_back("second"); });
    loop.post({});  // an empty function is ignored
    EXPECT_TRUE(yieldUntil(loop, [&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<std::string>{"first begins", "first ends", "second", "posted by first"}));
}

TEST(Win32EventLoopPost, WorkThatPostsItselfWaitsForTheNextTurn) {
    Win32EventLoop loop;
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        loop.post(again);
    };
    loop.post(again);
    loop.yield();
    EXPECT_EQ(runs, 1);
    loop.yield();
    EXPECT_EQ(runs, 2);
}

TEST(Win32EventLoopPost, IdleWakesAtOnceForWorkFromAnotherThread) {
    Win32EventLoop loop;
    const DWORD loopThread = GetCurrentThreadId();
    std::atomic<DWORD> ranOn{0};
    std::thread other([&] {
        std::this_thread::sleep_for(100ms);
        loop.postFromAnyThread([&] { ranOn = GetCurrentThreadId(); });
    });
    const auto start = Clock::now();
    loop.idle(5000);
    const auto waited = Clock::now() - start;
    other.join();
    if (ranOn == 0) loop.yield();  // woken by the message, run on this turn at the latest
    EXPECT_EQ(ranOn.load(), loopThread);
    EXPECT_GE(waited, 50ms);
    EXPECT_LT(waited, 2000ms);
}

TEST(Win32EventLoopPost, ManyThreadsPostingLoseNothing) {
    Win32EventLoop loop;
    int count = 0;  // touched on the loop's thread only
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i) loop.postFromAnyThread([&] { ++count; });
        });
    for (auto& t : threads) t.join();
    EXPECT_TRUE(yieldUntil(loop, [&] { return count == 1000; }));
    EXPECT_EQ(count, 1000);
}

TEST(Win32EventLoopPost, RunEndsOnAQuitPostedFromAnotherThread) {
    Win32EventLoop loop;
    std::thread other([&] {
        std::this_thread::sleep_for(50ms);
        loop.postFromAnyThread([&] { loop.quit(3); });
    });
    EXPECT_EQ(loop.run(), 3);
    other.join();
}

// ---- the console's events ------------------------------------------------------------

TEST(Win32EventLoopConsole, CtrlCReachesTheHandlerOnTheLoopsThread) {
    Win32EventLoop loop;
    EXPECT_FALSE(Win32EventLoop::ConsoleCtrlHandler(CTRL_C_EVENT));  // nobody took the events: the default
    std::vector<DWORD> got;
    DWORD ranOn = 0;
    loop.installTerminationHandler([&](DWORD type) {
        got.push_back(type);
        ranOn = GetCurrentThreadId();
        if (got.size() == 2) loop.quit(4);
    });
    std::atomic<BOOL> answered{FALSE};
    std::thread system([&] {
        answered = Win32EventLoop::ConsoleCtrlHandler(CTRL_C_EVENT);
        Win32EventLoop::ConsoleCtrlHandler(CTRL_BREAK_EVENT);
    });
    system.join();  // Ctrl+C does not wait for the loop
    EXPECT_TRUE(answered.load());
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(loop.run(), 4);
    EXPECT_EQ(got, (std::vector<DWORD>{CTRL_C_EVENT, CTRL_BREAK_EVENT}));
    EXPECT_EQ(ranOn, GetCurrentThreadId());

    loop.installTerminationHandler(nullptr);
    EXPECT_FALSE(Win32EventLoop::ConsoleCtrlHandler(CTRL_C_EVENT));
}

TEST(Win32EventLoopConsole, CloseWaitsUntilTheHandlerHasRun) {
    Win32EventLoop loop;
    std::atomic<bool> handled{false}, returned{false}, handledBeforeReturn{false};
    loop.installTerminationHandler([&](DWORD type) {
        EXPECT_EQ(type, static_cast<DWORD>(CTRL_CLOSE_EVENT));
        std::this_thread::sleep_for(50ms);
        handled = true;
        loop.quit(0);
    });
    std::thread system([&] {
        Win32EventLoop::ConsoleCtrlHandler(CTRL_CLOSE_EVENT);
        handledBeforeReturn = handled.load();
        returned = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(returned.load());  // the process would end at its return
    EXPECT_EQ(loop.run(), 0);
    system.join();
    EXPECT_TRUE(handledBeforeReturn.load());
}

TEST(Win32EventLoopConsole, ASecondLoopTakesTheEventsOver) {
    Win32EventLoop first;
    int firstGot = 0, secondGot = 0;
    first.installTerminationHandler([&](DWORD) { ++firstGot; });
    {
        Win32EventLoop second;
        second.installTerminationHandler([&](DWORD) { ++secondGot; });
        std::thread([] { Win32EventLoop::ConsoleCtrlHandler(CTRL_C_EVENT); }).join();
        EXPECT_TRUE(yieldUntil(second, [&] { return secondGot == 1; }));
        first.yield();
        EXPECT_EQ(firstGot, 0);
    }
    // The second gave them up as it went; the first no longer owns them either.
    EXPECT_FALSE(Win32EventLoop::ConsoleCtrlHandler(CTRL_C_EVENT));
}

// ---- window messages -------------------------------------------------------------

TEST(Win32EventLoopMessages, MessagesToAWindowOfThisThreadAreDispatchedWhileRunWaits) {
    Win32EventLoop loop;
    RecordingWindow window;
    ASSERT_NE(window.hwnd, nullptr);
    window.onMessage = [&](UINT) {
        if (window.received.size() == 2) loop.quit(0);
    };
    std::atomic<LRESULT> sentResult{0};
    std::thread other([&] {
        std::this_thread::sleep_for(50ms);
        PostMessageW(window.hwnd, WM_APP + 1, 0, 0);
        // Sent across threads: it is delivered only while the window's
        // thread takes messages, and the sender waits for the answer.
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window.hwnd, WM_APP + 2, 0, 0, SMTO_NORMAL, 5000, &result);
        sentResult = static_cast<LRESULT>(result);
    });
    TimerId guard = loop.addTimer([&] { loop.quit(-1); });
    loop.setTimer(guard, 5000, true);
    EXPECT_EQ(loop.run(), 0);
    other.join();
    // A sent message that is waiting goes before the posted ones, as
    // Windows has it: the order depends on when the loop woke.
    std::sort(window.received.begin(), window.received.end());
    EXPECT_EQ(window.received, (std::vector<UINT>{WM_APP + 1, WM_APP + 2}));
    for (DWORD t : window.threads) EXPECT_EQ(t, GetCurrentThreadId());
    EXPECT_EQ(sentResult.load(), 42);
}

TEST(Win32EventLoopMessages, TheFilterSeesMessagesFirstAndMayKeepThem) {
    Win32EventLoop loop;
    RecordingWindow window;
    std::vector<UINT> filtered;
    loop.setMessageFilter([&](MSG& msg) {
        if (msg.hwnd != window.hwnd) return false;
        filtered.push_back(msg.message);
        return msg.message == WM_APP + 1;  // handled: not dispatched
    });
    PostMessageW(window.hwnd, WM_APP + 1, 0, 0);
    PostMessageW(window.hwnd, WM_APP + 3, 0, 0);
    loop.yield();
    EXPECT_EQ(filtered, (std::vector<UINT>{WM_APP + 1, WM_APP + 3}));
    EXPECT_EQ(window.received, (std::vector<UINT>{WM_APP + 3}));

    loop.setMessageFilter({});
    PostMessageW(window.hwnd, WM_APP + 1, 0, 0);
    loop.yield();
    EXPECT_EQ(window.received, (std::vector<UINT>{WM_APP + 3, WM_APP + 1}));
}

TEST(Win32EventLoopMessages, WmQuitEndsRunWithItsExitCode) {
    Win32EventLoop loop;
    loop.post([] { PostQuitMessage(11); });
    EXPECT_EQ(loop.run(), 11);
}

TEST(Win32EventLoopMessages, AWindowThatKeepsPostingDoesNotStopTheTimers) {
    Win32EventLoop loop;
    RecordingWindow window;
    window.onMessage = [&](UINT) { PostMessageW(window.hwnd, WM_APP + 5, 0, 0); };
    PostMessageW(window.hwnd, WM_APP + 5, 0, 0);
    int ticks = 0;
    TimerId id = loop.addTimer([&] {
        if (++ticks == 3) loop.quit(0);
    });
    loop.setTimer(id, 10, true);
    TimerId guard = loop.addTimer([&] { loop.quit(-1); });
    loop.setTimer(guard, 5000, true);
    EXPECT_EQ(loop.run(), 0);
    EXPECT_GT(window.received.size(), 3u);
}

// ---- handles ----------------------------------------------------------------------

// A manual-reset event, closed at the end of the test.
struct Event {
    HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~Event() { CloseHandle(h); }
};

TEST(Win32EventLoopHandles, AHandlerRunsOnTheLoopsThreadWhileItsHandleIsSignaled) {
    Win32EventLoop loop;
    Event event;
    int calls = 0;
    DWORD thread = 0;
    ASSERT_TRUE(loop.addHandleWatch(event.h, [&] {
        ++calls;
        thread = GetCurrentThreadId();
        ResetEvent(event.h);  // what the handler of an overlapped read does by starting the next one
    }));
    yieldFor(loop, 50ms);
    EXPECT_EQ(calls, 0) << "not signaled";
    // Set from another thread while the loop waits in run().
    std::thread setter([&] {
        std::this_thread::sleep_for(30ms);
        SetEvent(event.h);
    });
    TimerId stop = loop.addTimer([&] {
        if (calls > 0) loop.quit(0);
    });
    loop.setTimer(stop, 10, true);
    loop.run();
    setter.join();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(thread, GetCurrentThreadId());
    // Again, after the watch was armed once more.
    SetEvent(event.h);
    EXPECT_TRUE(yieldUntil(loop, [&] { return calls == 2; }));
    yieldFor(loop, 50ms);
    EXPECT_EQ(calls, 2) << "reset by its handler: not called again";
}

TEST(Win32EventLoopHandles, AHandleLeftSignaledKeepsCallingUntilTheWatchIsRemoved) {
    Win32EventLoop loop;
    Event event;
    int calls = 0;
    loop.addHandleWatch(event.h, [&] {
        if (++calls == 3) loop.removeHandleWatch(event.h);
    });
    SetEvent(event.h);
    EXPECT_TRUE(yieldUntil(loop, [&] { return calls >= 3; }));
    yieldFor(loop, 50ms);
    EXPECT_EQ(calls, 3);
}

TEST(Win32EventLoopHandles, ASecondWatchReplacesTheFirstAndTwoHandlesAreServedBoth) {
    Win32EventLoop loop;
    Event a, b;
    std::vector<std::string> seen;
    loop.addHandleWatch(a.h, [&] { seen.push_back("first"); });
    loop.addHandleWatch(a.h, [&] {
        seen.push_back("a");
        ResetEvent(a.h);
    });
    loop.addHandleWatch(b.h, [&] {
        seen.push_back("b");
        ResetEvent(b.h);
    });
    SetEvent(a.h);
    SetEvent(b.h);
    EXPECT_TRUE(yieldUntil(loop, [&] { return seen.size() >= 2; }));
    yieldFor(loop, 30ms);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
}

TEST(Win32EventLoopHandles, ABusyHandlerIsNotReenteredFromAYieldInside) {
    Win32EventLoop loop;
    Event event;
    int depth = 0, maxDepth = 0, calls = 0;
    loop.addHandleWatch(event.h, [&] {
        maxDepth = std::max(maxDepth, ++depth);
        if (++calls == 1) yieldFor(loop, 60ms);  // still signaled all that time
        ResetEvent(event.h);
        --depth;
    });
    SetEvent(event.h);
    EXPECT_TRUE(yieldUntil(loop, [&] { return calls >= 1 && depth == 0; }));
    yieldFor(loop, 30ms);
    EXPECT_EQ(maxDepth, 1);
}

TEST(Win32EventLoopHandles, WaitsWithoutSpinningWhileNothingIsSignaled) {
    Win32EventLoop loop;
    Event event;
    int calls = 0;
    loop.addHandleWatch(event.h, [&] { ++calls; });
    // idle(200) must sleep through: one turn, no calls, about the time asked.
    const auto start = Clock::now();
    loop.idle(200);
    EXPECT_GE(Clock::now() - start, 150ms);
    EXPECT_EQ(calls, 0);
}

// ---- modal loops --------------------------------------------------------------------

TEST(Win32EventLoopModal, HandlesAreServedUnderAModalLoop) {
    Win32EventLoop loop;
    Event event;
    int calls = 0;
    loop.addHandleWatch(event.h, [&] {
        ++calls;
        ResetEvent(event.h);
    });
    loop.post([&] {
        std::thread setter([&] {
            std::this_thread::sleep_for(30ms);
            SetEvent(event.h);
        });
        RunModalLoopFor(300ms);
        setter.join();
        EXPECT_EQ(calls, 1) << "while the message box was open";
    });
    loop.yield();
    EXPECT_EQ(calls, 1);
}

TEST(Win32EventLoopModal, TimersTickAndPostedWorkRunsUnderAModalLoop) {
    Win32EventLoop loop;
    int ticks = 0;
    bool posted = false, foreign = false;
    TimerId id = loop.addTimer([&] { ++ticks; });
    loop.setTimer(id, 20, true);
    loop.post([&] {
        // A handler opens a message box: the loop's turns stop until it closes.
        loop.post([&] { posted = true; });
        std::thread other([&] { loop.postFromAnyThread([&] { foreign = true; }); });
        other.join();
        RunModalLoopFor(300ms);
        EXPECT_TRUE(posted);
        EXPECT_TRUE(foreign);
        EXPECT_GE(ticks, 4);
    });
    loop.yield();
    EXPECT_GE(ticks, 4);
}

TEST(Win32EventLoopModal, ABusyTimerIsNotReenteredFromAModalLoop) {
    Win32EventLoop loop;
    int depth = 0, maxDepth = 0, ticks = 0;
    TimerId id = loop.addTimer([&] {
        maxDepth = std::max(maxDepth, ++depth);
        if (++ticks == 1) RunModalLoopFor(150ms);
        --depth;
    });
    loop.setTimer(id, 10, true);
    EXPECT_TRUE(yieldUntil(loop, [&] { return ticks >= 2; }));
    EXPECT_EQ(maxDepth, 1);
    EXPECT_LE(ticks, 3);  // not the ticks the modal loop's time would have held
}

TEST(Win32EventLoopModal, AnErrorThrownUnderAModalLoopSurfacesInTheNextTurn) {
    Win32EventLoop loop;
    TimerId id = loop.addTimer([&] {
        loop.setTimer(id, 0, false);
        throw std::runtime_error("tick failed");
    });
    loop.post([&] {
        loop.setTimer(id, 10, true);
        RunModalLoopFor(100ms);  // the error must not cross the system's frames
    });
    EXPECT_THROW(loop.yield(), std::runtime_error);  // the turn that opened the modal loop
    EXPECT_NO_THROW(loop.yield());                    // thrown once only
}

}  // namespace
