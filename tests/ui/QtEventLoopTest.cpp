#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <algorithm>

#include <string>
#include <vector>

#include "ui/QtEventLoop.h"

namespace nocturo::ui {
namespace {

// Spins the loop until cond holds or maxMs pass.
template <class Cond>
bool spinUntil(QtEventLoop& loop, Cond cond, int maxMs = 2000) {
    QElapsedTimer clock;
    clock.start();
    while (!cond()) {
        if (clock.elapsed() > maxMs) return false;
        loop.idle(10);
    }
    return true;
}

TEST(QtEventLoop, TimerStartsDisabledAndTicksOnceEnabled) {
    QtEventLoop loop;
    int ticks = 0;
    const auto id = loop.addTimer([&] { ++ticks; });
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60) loop.idle(10);
    EXPECT_EQ(ticks, 0);

    loop.setTimer(id, 20, true);
    EXPECT_TRUE(spinUntil(loop, [&] { return ticks >= 3; }));
}

TEST(QtEventLoop, IntervalSetsTheRate) {
    QtEventLoop loop;
    int fast = 0, slow = 0;
    const auto a = loop.addTimer([&] { ++fast; });
    const auto b = loop.addTimer([&] { ++slow; });
    loop.setTimer(a, 10, true);
    loop.setTimer(b, 100, true);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 350) loop.idle(5);
    EXPECT_GE(fast, 10);
    EXPECT_GE(slow, 2);
    EXPECT_LE(slow, 4);
    EXPECT_GT(fast, 3 * slow);
}

TEST(QtEventLoop, DisablingOrZeroIntervalStopsTheTimer) {
    QtEventLoop loop;
    int ticks = 0;
    const auto id = loop.addTimer([&] { ++ticks; });
    loop.setTimer(id, 10, true);
    ASSERT_TRUE(spinUntil(loop, [&] { return ticks >= 1; }));

    loop.setTimer(id, 0, true);
    const int afterZero = ticks;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60) loop.idle(5);
    EXPECT_EQ(ticks, afterZero);

    loop.setTimer(id, 10, true);
    ASSERT_TRUE(spinUntil(loop, [&] { return ticks > afterZero; }));
    loop.setTimer(id, 10, false);
    const int afterOff = ticks;
    clock.restart();
    while (clock.elapsed() < 60) loop.idle(5);
    EXPECT_EQ(ticks, afterOff);
}

TEST(QtEventLoop, TickIsNotReenteredWhileItsHandlerYields) {
    QtEventLoop loop;
    int depth = 0, maxDepth = 0, ticks = 0, otherTicks = 0;
    const auto other = loop.addTimer([&] { ++otherTicks; });
    const auto id = loop.addTimer([&] {
        ++ticks;
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (ticks == 1) {
            // A long wait inside the handler: several intervals pass while it yields.
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < 150) loop.yield();
        }
        --depth;
    });
    loop.setTimer(id, 10, true);
    loop.setTimer(other, 10, true);
    ASSERT_TRUE(spinUntil(loop, [&] { return ticks >= 3; }));
    EXPECT_EQ(maxDepth, 1);
    // Other timers go on ticking inside the wait.
    EXPECT_GE(otherTicks, 5);
}

TEST(QtEventLoop, YieldNeverWaits) {
    QtEventLoop loop;
    const auto id = loop.addTimer([] {});
    loop.setTimer(id, 1000, true);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 100; ++i) loop.yield();
    EXPECT_LT(clock.elapsed(), 200);
}

TEST(QtEventLoop, IdleWaitsAtMostItsBound) {
    QtEventLoop loop;
    // Whatever the application left pending (a fresh one has some) is handled first.
    for (int i = 0; i < 5; ++i) loop.yield();
    QElapsedTimer total;
    total.start();
    for (int i = 0; i < 4; ++i) {
        QElapsedTimer clock;
        clock.start();
        loop.idle(50);
        EXPECT_LT(clock.elapsed(), 500);
    }
    // It naps when nothing comes, rather than spinning.
    EXPECT_GE(total.elapsed(), 100);
}

TEST(QtEventLoop, IdleReturnsEarlyWhenSomethingArrives) {
    QtEventLoop loop;
    bool ran = false;
    loop.post([&] { ran = true; });
    QElapsedTimer clock;
    clock.start();
    loop.idle(2000);
    EXPECT_TRUE(ran);
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(QtEventLoop, PostedWorkRunsInOrderAfterTheCurrentHandler) {
    QtEventLoop loop;
    std::vector<std::string> order;
    loop.post([&] {
        order.push_back("a");
        loop.post([&] { order.push_back("c"); });
        order.push_back("a-end");
    });
    loop.post([&] { order.push_back("b"); });
    EXPECT_TRUE(order.empty());
    ASSERT_TRUE(spinUntil(loop, [&] { return order.size() >= 4; }));
    EXPECT_EQ(order, (std::vector<std::string>{"a", "a-end", "b", "c"}));
}

TEST(QtEventLoop, TimerMayRemoveItselfFromItsTick) {
    QtEventLoop loop;
    int ticks = 0;
    platform::TimerId id = 0;
    id = loop.addTimer([&] {
        ++ticks;
        loop.removeTimer(id);
    });
    loop.setTimer(id, 5, true);
    ASSERT_TRUE(spinUntil(loop, [&] { return ticks >= 1; }));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 50) loop.idle(5);
    EXPECT_EQ(ticks, 1);
    loop.setTimer(id, 5, true);  // unknown now: ignored
    loop.removeTimer(id);
}

TEST(QtEventLoop, RunReturnsTheQuitCode) {
    QtEventLoop loop;
    int ticks = 0;
    const auto id = loop.addTimer([&] {
        if (++ticks == 3) loop.quit(42);
    });
    loop.setTimer(id, 5, true);
    EXPECT_EQ(loop.run(), 42);
    EXPECT_EQ(ticks, 3);
}

TEST(QtEventLoop, QuitFromPostedWork) {
    QtEventLoop loop;
    loop.post([&] { loop.quit(7); });
    EXPECT_EQ(loop.run(), 7);
}

TEST(QtEventLoop, QuitBeforeRunReturnsAtOnce) {
    QtEventLoop loop;
    loop.quit(3);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(loop.run(), 3);
    EXPECT_LT(clock.elapsed(), 500);
    // Used up: the next run waits for its own quit.
    loop.post([&] { loop.quit(4); });
    EXPECT_EQ(loop.run(), 4);
}

}  // namespace
}  // namespace nocturo::ui
