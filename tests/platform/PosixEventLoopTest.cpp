#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/PosixEventLoop.h"

using nocturo::platform::PosixEventLoop;
using nocturo::platform::TimerId;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Calls yield() until done() or the time is up; false when the time ran out.
bool yieldUntil(PosixEventLoop& loop, const std::function<bool()>& done, std::chrono::milliseconds limit = 1000ms) {
    const auto until = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > until) return false;
        loop.yield();
    }
    return true;
}

void yieldFor(PosixEventLoop& loop, std::chrono::milliseconds span) {
    const auto until = Clock::now() + span;
    while (Clock::now() < until) loop.yield();
}

std::chrono::milliseconds cpuTime() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::seconds(ts.tv_sec) +
                                                                 std::chrono::nanoseconds(ts.tv_nsec));
}

}  // namespace

// ---- timers -----------------------------------------------------------------------

TEST(PosixEventLoopTimers, TicksAtItsIntervalNeverEarly) {
    PosixEventLoop loop;
    std::vector<Clock::time_point> ticks;
    TimerId id = loop.addTimer([&] {
        ticks.push_back(Clock::now());
        if (ticks.size() == 4) loop.quit(0);
    });
    const auto start = Clock::now();
    loop.setTimer(id, 25, true);
    EXPECT_EQ(loop.run(), 0);
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_GE(ticks[0] - start, 25ms);
    for (std::size_t i = 1; i < ticks.size(); ++i) EXPECT_GE(ticks[i] - ticks[i - 1], 24ms) << i;
    EXPECT_LT(ticks.back() - start, 100ms + 300ms);
}

TEST(PosixEventLoopTimers, StartsDisabledAndFollowsEnableDisable) {
    PosixEventLoop loop;
    int count = 0;
    TimerId id = loop.addTimer([&] { ++count; });
    yieldFor(loop, 20ms);
    EXPECT_EQ(count, 0);  // never set

    loop.setTimer(id, 5, true);
    loop.setTimer(id, 5, false);
    yieldFor(loop, 20ms);
    EXPECT_EQ(count, 0);

    loop.setTimer(id, 0, true);  // an interval of 0 does not tick
    yieldFor(loop, 20ms);
    EXPECT_EQ(count, 0);

    loop.setTimer(id, 5, true);
    EXPECT_TRUE(yieldUntil(loop, [&] { return count >= 3; }));

    // A tick that switches its own timer off.
    loop.removeTimer(id);
    count = 0;
    id = loop.addTimer([&] {
        if (++count == 2) loop.setTimer(id, 1, false);
    });
    loop.setTimer(id, 1, true);
    EXPECT_TRUE(yieldUntil(loop, [&] { return count >= 2; }));
    yieldFor(loop, 15ms);
    EXPECT_EQ(count, 2);

    loop.setTimer(12345, 1, true);  // unknown ids are ignored
    loop.removeTimer(12345);
}

TEST(PosixEventLoopTimers, TimerMayRemoveItselfDuringItsTick) {
    PosixEventLoop loop;
    int count = 0;
    TimerId id = 0;
    id = loop.addTimer([&] {
        ++count;
        loop.removeTimer(id);
        loop.yield();  // still running fine after its removal
        ++count;
    });
    loop.setTimer(id, 1, true);
    EXPECT_TRUE(yieldUntil(loop, [&] { return count >= 2; }));
    yieldFor(loop, 10ms);
    EXPECT_EQ(count, 2);
}

TEST(PosixEventLoopTimers, BusyTimerIsNotReenteredWhileItsTickYields) {
    PosixEventLoop loop;
    int depth = 0, maxDepth = 0, ticksA = 0, ticksB = 0, ticksBDuringA = 0;
    bool postedRanInsideA = false;
    TimerId a = loop.addTimer([&] {
        maxDepth = std::max(maxDepth, ++depth);
        if (++ticksA == 1) {
            const int before = ticksB;
            loop.post([&] { postedRanInsideA = depth > 0; });
            yieldFor(loop, 60ms);  // a long wait of the kind the countdown does
            ticksBDuringA = ticksB - before;
        }
        --depth;
    });
    TimerId b = loop.addTimer([&] { ++ticksB; });
    loop.setTimer(a, 5, true);
    loop.setTimer(b, 5, true);
    EXPECT_TRUE(yieldUntil(loop, [&] { return ticksA >= 2; }));
    EXPECT_EQ(maxDepth, 1);
    EXPECT_GE(ticksBDuringA, 3);  // other timers keep ticking meanwhile
    EXPECT_TRUE(postedRanInsideA);
}

TEST(PosixEventLoopTimers, NoCatchUpStormAfterLongTick) {
    PosixEventLoop loop;
    int count = 0;
    Clock::time_point secondTick{};
    TimerId id = loop.addTimer([&] {
        if (++count == 1) std::this_thread::sleep_for(150ms);  // five intervals missed
        if (count == 2) secondTick = Clock::now();
    });
    loop.setTimer(id, 30, true);
    ASSERT_TRUE(yieldUntil(loop, [&] { return count == 1; }));
    loop.yield();
    EXPECT_EQ(count, 2);  // one late tick at once ...
    loop.yield();
    loop.yield();
    EXPECT_EQ(count, 2);  // ... and not the missed ones
    ASSERT_TRUE(yieldUntil(loop, [&] { return count == 3; }));
    EXPECT_GE(Clock::now() - secondTick, 29ms);
}

// ---- posted work ------------------------------------------------------------------

TEST(PosixEventLoopPost, RunsOnNextTurnInOrder) {
    PosixEventLoop loop;
    std::vector<std::string> seen;
    loop.post([&] {
        seen.push_back("A");
        loop.post([&] { seen.push_back("C"); });
        loop.yield();  // B was posted before C and runs first
        seen.push_back("A done");
    });
    loop.post([&] { seen.push_back("B"); });
    EXPECT_TRUE(seen.empty());
    loop.yield();
    EXPECT_EQ(seen, (std::vector<std::string>{"A", "B", "C", "A done"}));
}

TEST(PosixEventLoopPost, WorkThatPostsItselfWaitsForTheNextTurn) {
    PosixEventLoop loop;
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

// ---- run and quit -------------------------------------------------------------------

TEST(PosixEventLoopRun, QuitReturnsItsCode) {
    PosixEventLoop loop;
    loop.post([&] { loop.quit(7); });
    EXPECT_EQ(loop.run(), 7);

    loop.quit(3);  // before run(): returns at once
    EXPECT_EQ(loop.run(), 3);

    TimerId id = loop.addTimer([&] { loop.quit(9); });
    loop.setTimer(id, 5, true);
    EXPECT_EQ(loop.run(), 9);
}

TEST(PosixEventLoopRun, WaitsWithoutSpinning) {
    PosixEventLoop loop;
    const auto start = Clock::now();
    TimerId id = loop.addTimer([&] {
        if (Clock::now() - start >= 150ms) loop.quit(0);
    });
    loop.setTimer(id, 20, true);
    const auto cpuBefore = cpuTime();
    loop.run();
    EXPECT_LT(cpuTime() - cpuBefore, 30ms);
}

TEST(PosixEventLoopYield, BusyWaitOnIdleNapsInsteadOfSpinning) {
    PosixEventLoop loop;
    const auto cpuBefore = cpuTime();
    const auto until = Clock::now() + 150ms;
    int turns = 0;
    while (Clock::now() < until) {
        loop.idle(PosixEventLoop::kIdleNapMs);
        ++turns;
    }
    EXPECT_LT(cpuTime() - cpuBefore, 75ms);
    EXPECT_LE(turns, 150);  // about one turn per idle nap

    // With work ready it does not nap.
    int posted = 0;
    loop.post([&] { ++posted; });
    const auto before = Clock::now();
    loop.idle(PosixEventLoop::kIdleNapMs);
    EXPECT_EQ(posted, 1);
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(PosixEventLoop::kIdleNapMs));
}

TEST(PosixEventLoopYield, YieldNeverSleeps) {
    // The pump between the steps of long work (a settings read, a file
    // found) must cost next to nothing when nothing is pending.
    PosixEventLoop loop;
    const auto before = Clock::now();
    for (int i = 0; i < 1000; ++i) loop.yield();
    EXPECT_LT(Clock::now() - before, 200ms);
}

// ---- termination signals --------------------------------------------------------------

TEST(PosixEventLoopSignals, SigtermReachesCallbackInsideRun) {
    PosixEventLoop loop;
    std::vector<int> got;
    loop.installTerminationHandler([&](int sig) {
        got.push_back(sig);
        loop.quit(100 + sig);
    });
    loop.post([] { raise(SIGTERM); });
    EXPECT_EQ(loop.run(), 100 + SIGTERM);
    EXPECT_EQ(got, std::vector<int>{SIGTERM});
}

TEST(PosixEventLoopSignals, SignalIsDeliveredByYield) {
    PosixEventLoop loop;
    std::vector<int> got;
    loop.installTerminationHandler([&](int sig) { got.push_back(sig); });
    raise(SIGHUP);
    EXPECT_TRUE(got.empty());  // never from inside the signal handler itself
    loop.yield();
    EXPECT_EQ(got, std::vector<int>{SIGHUP});
}

TEST(PosixEventLoopSignals, SecondSigintDuringCallbackWaitsItsTurn) {
    PosixEventLoop loop;
    int calls = 0, depth = 0, maxDepth = 0;
    loop.installTerminationHandler([&](int sig) {
        EXPECT_EQ(sig, SIGINT);
        maxDepth = std::max(maxDepth, ++depth);
        if (++calls == 1) {
            raise(SIGINT);  // the user presses Ctrl-C again during the orderly shutdown
            for (int i = 0; i < 5; ++i) loop.yield();
            EXPECT_EQ(calls, 1);
        } else {
            loop.quit(0);
        }
        --depth;
    });
    loop.post([] { raise(SIGINT); });
    EXPECT_EQ(loop.run(), 0);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(maxDepth, 1);
}

TEST(PosixEventLoopSignals, PreviousHandlersComeBack) {
    struct sigaction before {}, during {}, after {};
    sigaction(SIGTERM, nullptr, &before);
    {
        PosixEventLoop loop;
        loop.installTerminationHandler([](int) {});
        sigaction(SIGTERM, nullptr, &during);
        EXPECT_NE(during.sa_handler, before.sa_handler);
        loop.installTerminationHandler(nullptr);
        sigaction(SIGTERM, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler);
        loop.installTerminationHandler([](int) {});
    }
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST(PosixEventLoopSignals, SecondLoopTakesTheSignalsOver) {
    PosixEventLoop first, second;
    int firstGot = 0, secondGot = 0;
    first.installTerminationHandler([&](int) { ++firstGot; });
    second.installTerminationHandler([&](int) { ++secondGot; });
    raise(SIGTERM);
    first.yield();
    second.yield();
    EXPECT_EQ(firstGot, 0);
    EXPECT_EQ(secondGot, 1);
}

// ---- read watches --------------------------------------------------------------------

TEST(PosixEventLoopWatch, ReadableDescriptorCallsItsHandler) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    PosixEventLoop loop;
    std::string received;
    int calls = 0;
    loop.addReadWatch(fds[0], [&] {
        ++calls;
        char buffer[16];
        ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    });
    loop.yield();
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(write(fds[1], "hi", 2), 2);
    loop.yield();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(received, "hi");

    loop.removeReadWatch(fds[0]);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    loop.yield();
    EXPECT_EQ(calls, 1);
    close(fds[0]);
    close(fds[1]);
}

TEST(PosixEventLoopWatch, RunWakesWhenDataArrives) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    PosixEventLoop loop;
    TimerId writer = 0;
    writer = loop.addTimer([&] {
        loop.setTimer(writer, 0, false);
        ASSERT_EQ(write(fds[1], "q", 1), 1);
    });
    loop.addReadWatch(fds[0], [&] {
        char c = 0;
        if (read(fds[0], &c, 1) == 1 && c == 'q') loop.quit(5);
    });
    loop.setTimer(writer, 10, true);
    const auto start = Clock::now();
    EXPECT_EQ(loop.run(), 5);
    EXPECT_LT(Clock::now() - start, 500ms);

    // End of file: the handler is told and takes the watch away.
    close(fds[1]);
    bool sawEof = false;
    loop.addReadWatch(fds[0], [&] {
        char c;
        if (read(fds[0], &c, 1) == 0) {
            sawEof = true;
            loop.removeReadWatch(fds[0]);
        }
    });
    loop.yield();
    EXPECT_TRUE(sawEof);
    close(fds[0]);
}
