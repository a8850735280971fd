#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include "platform/Error.h"
#include "support/TestSupport.h"
#include "platform/sim/SimEventLoop.h"

using namespace nocturo::platform;

namespace {

using nocturo::test::At;

class SimLoopTest : public ::testing::Test {
protected:
    SimClock clock{At(2024, 5, 6, 12, 0, 0)};
    SimEventLoop loop{clock};

    // The program's Wait: yields until the seconds have passed on the
    // monotonic clock.
    void Wait(int seconds) {
        const auto start = clock.monotonicMs();
        while (clock.monotonicMs() < start + seconds * 1000) loop.yield();
        loop.yield();
    }
};

}  // namespace

TEST_F(SimLoopTest, YieldMovesVirtualTimeByOneQuantum) {
    EXPECT_EQ(loop.quantum(), 10);
    loop.yield();
    EXPECT_EQ(clock.monotonicMs(), 10);
    loop.setQuantum(250);
    loop.yield();
    EXPECT_EQ(clock.monotonicMs(), 260);
    loop.setQuantum(0);
    EXPECT_EQ(loop.quantum(), 1);
}

TEST_F(SimLoopTest, WaitOfOneSecondTakesOneVirtualSecond) {
    const auto start = clock.monotonicMs();
    while (clock.monotonicMs() < start + 1000) loop.yield();
    EXPECT_EQ(clock.monotonicMs(), 1000);
    loop.setQuantum(30);
    const auto again = clock.monotonicMs();
    while (clock.monotonicMs() < again + 1000) loop.yield();
    EXPECT_GE(clock.monotonicMs() - again, 1000);
    EXPECT_LT(clock.monotonicMs() - again, 1030);
}

TEST_F(SimLoopTest, WaitAcrossMidnightStillLastsOneSecond) {
    clock.setStart(At(2024, 12, 31, 23, 59, 59, 900));
    Wait(1);
    EXPECT_EQ(clock.monotonicMs(), 1010);
    LocalTime now = clock.now();
    EXPECT_EQ(now.year, 2025);
    EXPECT_EQ(now.month, 1);
    EXPECT_EQ(now.day, 1);
    EXPECT_EQ(now.second, 0);
    EXPECT_EQ(now.millisecond, 910);
    EXPECT_EQ(now.weekday, 2);  // Wednesday
}

TEST_F(SimLoopTest, ScriptedClickCancelsACountdownInTheMiddle) {
    bool cancel = false;
    std::int64_t clickedAt = -1;
    loop.at(3500, "click cmdGo", [&] {
        cancel = true;
        clickedAt = clock.monotonicMs();
    });
    int stepsDone = 0;
    for (int i = 10; i >= 0; --i) {
        Wait(1);
        ++stepsDone;
        if (cancel) break;
    }
    EXPECT_EQ(clickedAt, 3500);  // the handler runs at its own moment
    EXPECT_EQ(stepsDone, 4);     // noticed at the end of the wait that spans 3.5 s
    ASSERT_EQ(loop.firedEvents().size(), 1u);
    EXPECT_EQ(loop.firedEvents()[0].atMs, 3500);
    EXPECT_EQ(loop.firedEvents()[0].name, "click cmdGo");
}

TEST_F(SimLoopTest, TimersTickAtTheirIntervalOnVirtualTime) {
    std::vector<std::int64_t> ticks;
    TimerId t = loop.addTimer([&] { ticks.push_back(clock.monotonicMs()); });
    EXPECT_FALSE(loop.timerEnabled(t));  // a timer starts disabled
    loop.runFor(2000);
    EXPECT_TRUE(ticks.empty());
    loop.setTimer(t, 500, true);
    loop.runUntil(4600);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{2500, 3000, 3500, 4000, 4500}));
    EXPECT_EQ(clock.monotonicMs(), 4600);

    // Same values again: the period goes on; a new interval restarts it.
    ticks.clear();
    loop.setTimer(t, 500, true);
    loop.runUntil(5100);
    EXPECT_EQ(ticks, std::vector<std::int64_t>{5000});
    loop.setTimer(t, 1000, true);
    loop.runUntil(7000);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{5000, 6100}));
    loop.setTimer(t, 0, true);  // an interval of 0 stops it
    EXPECT_FALSE(loop.timerEnabled(t));
    loop.runFor(5000);
    EXPECT_EQ(ticks.size(), 2u);
}

TEST_F(SimLoopTest, TimersAlsoTickInsideYields) {
    int ticks = 0;
    TimerId t = loop.addTimer([&] { ++ticks; });
    loop.setTimer(t, 1000, true);
    Wait(3);
    EXPECT_EQ(ticks, 3);
    loop.setQuantum(100);
    TimerId fast = loop.addTimer([&] { ++ticks; });
    loop.setTimer(fast, 25, true);
    ticks = 0;
    loop.yield();  // one quantum of 100 ms holds four ticks of 25 ms
    EXPECT_EQ(ticks, 4);
}

TEST_F(SimLoopTest, ATimerIsNotReenteredWhileItsHandlerYields) {
    std::vector<std::int64_t> ticks;
    int depth = 0, maxDepth = 0;
    TimerId t = loop.addTimer([&] {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        ticks.push_back(clock.monotonicMs());
        if (ticks.size() == 1) {
            EXPECT_TRUE(loop.timerRunning(1));
            Wait(5);  // the countdown inside the tick
        }
        --depth;
    });
    loop.setTimer(t, 1000, true);
    int others = 0;
    TimerId other = loop.addTimer([&] { ++others; });
    loop.setTimer(other, 1000, true);
    loop.runUntil(10000);
    EXPECT_EQ(maxDepth, 1);
    // The ticks missed during the five seconds come as one, at once.
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{1000, 6010, 7010, 8010, 9010}));
    EXPECT_EQ(others, 10);  // another timer kept ticking inside the wait
}

TEST_F(SimLoopTest, ATimerCanStopOrRemoveItselfFromItsHandler) {
    int a = 0, b = 0;
    TimerId ta = loop.addTimer([&] {
        ++a;
        Wait(2);
        loop.setTimer(1, 1000, false);
    });
    loop.setTimer(ta, 1000, true);
    TimerId tb = 0;
    tb = loop.addTimer([&] {
        ++b;
        loop.removeTimer(tb);
        Wait(3);
    });
    loop.setTimer(tb, 500, true);
    loop.runFor(10000);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);
    EXPECT_FALSE(loop.timerEnabled(ta));
    EXPECT_THROW(loop.setTimer(tb, 100, true), Error);
    loop.removeTimer(tb);  // unknown ids are ignored
    EXPECT_EQ(loop.run(), -1);
}

TEST_F(SimLoopTest, AThrowingHandlerDoesNotStopItsTimer) {
    int ticks = 0;
    TimerId t = loop.addTimer([&] {
        ++ticks;
        throw std::runtime_error("tick failed");
    });
    loop.setTimer(t, 100, true);
    EXPECT_THROW(loop.runFor(150), std::runtime_error);
    EXPECT_FALSE(loop.timerRunning(t));
    EXPECT_THROW(loop.runFor(150), std::runtime_error);
    EXPECT_EQ(ticks, 2);
}

TEST_F(SimLoopTest, RunReturnsMinusOneWhenNothingCanEverRun) {
    EXPECT_FALSE(loop.hasPending());
    EXPECT_EQ(loop.run(), -1);
    TimerId t = loop.addTimer([] {});
    loop.setTimer(t, 1000, false);
    EXPECT_EQ(loop.run(), -1);  // a disabled timer keeps nothing alive
    int ran = 0;
    loop.post([&] { ++ran; });
    loop.after(5000, "late", [&] { ++ran; });
    EXPECT_EQ(loop.run(), -1);
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(clock.monotonicMs(), 5000);
}

TEST_F(SimLoopTest, RunJumpsFromItemToItemUntilQuit) {
    std::vector<std::int64_t> ticks;
    TimerId t = loop.addTimer([&] {
        ticks.push_back(clock.monotonicMs());
        if (ticks.size() == 3) loop.quit(7);
    });
    loop.setTimer(t, 10000, true);
    auto real = std::chrono::steady_clock::now();
    EXPECT_EQ(loop.run(), 7);
    EXPECT_LT(std::chrono::steady_clock::now() - real, std::chrono::seconds(5));
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{10000, 20000, 30000}));
    EXPECT_EQ(clock.monotonicMs(), 30000);
    // A quit from inside a nested wait ends run once the handler returns.
    loop.setTimer(t, 10000, false);
    loop.after(100, "exit", [&] {
        loop.quit(3);
        Wait(1);
    });
    EXPECT_EQ(loop.run(), 3);
    EXPECT_EQ(clock.monotonicMs(), 31110);
}

TEST_F(SimLoopTest, QuitBeforeRunEndsItAtOnceAndRunLimitStopsAnEndlessProgram) {
    loop.quit(0);
    EXPECT_EQ(loop.run(), 0);
    TimerId t = loop.addTimer([] {});
    loop.setTimer(t, 500, true);
    loop.setRunLimit(60000);
    EXPECT_EQ(loop.run(), -2);
    EXPECT_EQ(clock.monotonicMs(), 60000);
}

TEST_F(SimLoopTest, RunUntilStopsEarlyOnQuit) {
    loop.at(1500, "quit", [&] { loop.quit(4); });
    EXPECT_EQ(loop.runUntil(1000), std::nullopt);
    EXPECT_EQ(clock.monotonicMs(), 1000);
    EXPECT_EQ(loop.runUntil(3000), std::optional<int>(4));
    EXPECT_EQ(clock.monotonicMs(), 1500);
    EXPECT_EQ(loop.runFor(500), std::nullopt);
    EXPECT_EQ(clock.monotonicMs(), 2000);
}

TEST_F(SimLoopTest, PostedWorkRunsInOrderAtTheNextDispatch) {
    std::vector<std::string> order;
    loop.post([&] {
        order.push_back("first");
        loop.post([&] { order.push_back("posted by first"); });
    });
    loop.post([&] { order.push_back("second"); });
    loop.yield();
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
    loop.yield();
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "posted by first"}));
}

TEST_F(SimLoopTest, AHandlerThatKeepsPostingDoesNotHoldAYield) {
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        loop.post(again);
    };
    loop.post(again);
    for (int i = 0; i < 5; ++i) loop.yield();
    EXPECT_EQ(runs, 5);
}

TEST_F(SimLoopTest, ItemsDueAtTheSameMomentRunInTheOrderTheyWereScheduled) {
    std::vector<std::string> order;
    TimerId t = loop.addTimer([&] { order.push_back("tick"); });
    loop.at(1000, "a", [&] { order.push_back("a"); });
    loop.setTimer(t, 1000, true);
    loop.at(1000, "b", [&] { order.push_back("b"); });
    loop.at(999, "early", [&] { order.push_back("early"); });
    loop.runUntil(1000);
    EXPECT_EQ(order, (std::vector<std::string>{"early", "a", "tick", "b"}));
}

TEST_F(SimLoopTest, EventsCanBeCancelledAndNamedEventsGoToTheirHandler) {
    std::vector<std::string> named;
    loop.setNamedEventHandler([&](const std::string& name) { named.push_back(name); });
    loop.at(3500, "cmdGo_Click");
    auto gone = loop.at(4000, "ImgStop_DblClick");
    loop.after(100, "mnuExit");
    EXPECT_TRUE(loop.cancel(gone));
    EXPECT_FALSE(loop.cancel(gone));
    EXPECT_EQ(loop.nextDue(), std::optional<std::int64_t>(100));
    loop.runFor(5000);
    EXPECT_EQ(named, (std::vector<std::string>{"mnuExit", "cmdGo_Click"}));
    EXPECT_EQ(loop.nextDue(), std::nullopt);
    // An event for a moment already passed runs at the next dispatch.
    loop.at(10, "past");
    loop.yield();
    EXPECT_EQ(named.back(), "past");
    EXPECT_EQ(loop.firedEvents().back().atMs, 5000);
}

TEST_F(SimLoopTest, PacingMakesVirtualTimeFollowRealTime) {
    loop.setPacing(20);  // twenty times real speed
    const auto real = std::chrono::steady_clock::now();
    loop.runFor(1000);   // about 50 ms
    const auto took = std::chrono::steady_clock::now() - real;
    EXPECT_GE(took, std::chrono::milliseconds(45));
    EXPECT_LT(took, std::chrono::seconds(5));
    loop.setPacing(0);
    const auto fast = std::chrono::steady_clock::now();
    loop.runFor(3600000);
    EXPECT_LT(std::chrono::steady_clock::now() - fast, std::chrono::milliseconds(45));
}

#ifdef _WIN32
// The simulated machine on Windows serves handles (the control pipe's
// events) the way it serves descriptors elsewhere: in its paced waits, and
// once per yield without pacing.
TEST_F(SimLoopTest, WatchedHandlesAreServedInPacedWaitsAndInYields) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    using Real = std::chrono::steady_clock;
    std::vector<Real::time_point> calledAt;
    ASSERT_TRUE(loop.addHandleWatch(event, [&] {
        calledAt.push_back(Real::now());
        ResetEvent(event);
    }));
    loop.yield();
    EXPECT_TRUE(calledAt.empty());
    SetEvent(event);
    loop.yield();
    ASSERT_EQ(calledAt.size(), 1u);

    // Paced: a handle signalled during the wait is served right after the
    // item the wait was for - never in the middle of the loop's step, where
    // its handler could cancel what that step runs - and not polled twice.
    loop.setPacing(1);
    std::thread setter([&] {
        Sleep(100);
        SetEvent(event);
    });
    const auto real = Real::now();
    loop.runFor(1000);
    setter.join();
    EXPECT_GE(Real::now() - real, std::chrono::milliseconds(900)) << "the wait still lasts";
    EXPECT_EQ(calledAt.size(), 1u) << "not run inside the wait";
    loop.yield();
    ASSERT_EQ(calledAt.size(), 2u) << "run once, right after it";

    loop.removeHandleWatch(event);
    SetEvent(event);
    loop.setPacing(0);
    loop.yield();
    EXPECT_EQ(calledAt.size(), 2u);
    CloseHandle(event);
}
#endif
