// Tasks on the simulated loop: their waits, their cancel at every point of
// their life, a task awaiting another, and the program wait.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/Task.h"
#include "schedule/Varn_ShellAndWait.h"
#include "schedule/Varn_Time.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

// Counts the destruction of a task's frame.
struct Probe {
    int* ended;
    ~Probe() { ++*ended; }
};

struct Trace {
    std::vector<std::string> steps;
    int ended = 0;
    std::int64_t at(SimWorld& w) { return w.clock.monotonicMs(); }
};

Task Countdown(Trace& t, SimWorld& w, int from) {
    Probe probe{&t.ended};
    for (int i = from; i >= 0; --i) {
        t.steps.push_back(std::to_string(i) + "@" + std::to_string(t.at(w)));
        co_await Wait(1);
    }
    t.steps.push_back("acted");
}

Task Holding(std::shared_ptr<int> value) {
    ++*value;
    co_return;
}

Task BoxThenAct(Trace& t, std::function<void()> insideBox) {
    Probe probe{&t.ended};
    t.steps.push_back("box");
    insideBox();  // what a nested loop of a modal box could run
    if (co_await Cancelled{}) {
        t.steps.push_back("dropped");
        co_await NextTurn();
        t.steps.push_back("never");
        co_return;
    }
    t.steps.push_back("acted");
}

}  // namespace

TEST(Task, WaitsOnTheLoopsClockAndRunsToItsEnd) {
    SimWorld w;
    Trace t;
    Task task = Countdown(t, w, 2);
    EXPECT_TRUE(t.steps.empty());  // nothing runs before start
    task.start("Countdown of Modul Test");
    EXPECT_EQ(t.steps, (std::vector<std::string>{"2@0"}));
    EXPECT_TRUE(task.active());
    w.loop.runFor(10000);
    EXPECT_EQ(t.steps, (std::vector<std::string>{"2@0", "1@1000", "0@2000", "acted"}));
    EXPECT_TRUE(task.done());
    EXPECT_FALSE(task.active());
    EXPECT_EQ(t.ended, 1);
    // Its timers went with it: nothing is left for the loop.
    EXPECT_FALSE(w.loop.hasPending());
}

TEST(Task, CancelledWhileWaitingItEndsOnTheSpotAndLeavesNoTimer) {
    struct Case {
        const char* name;
        std::int64_t cancelAt;
        std::vector<std::string> steps;
    };
    const Case cases[] = {
        {"before its first second", 500, {"3@0"}},
        {"in the middle", 2300, {"3@0", "2@1000", "1@2000"}},
        {"on its last wait", 3999, {"3@0", "2@1000", "1@2000", "0@3000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimWorld w;
        Trace t;
        Task task = Countdown(t, w, 3);
        task.start("Countdown of Modul Test");
        w.loop.at(c.cancelAt, "cancel", [&] { task.cancel(); });
        w.loop.runFor(20000);
        EXPECT_EQ(t.steps, c.steps);
        EXPECT_EQ(t.ended, 1);
        EXPECT_TRUE(task.done());
        EXPECT_FALSE(w.loop.hasPending());
    }
}

TEST(Task, ReplacingOrDroppingATaskCancelsIt) {
    SimWorld w;
    Trace first, second;
    Task task = Countdown(first, w, 5);
    task.start("Countdown of Modul Test");
    w.loop.runFor(1500);
    task = Countdown(second, w, 1);  // the old one ends, the new one waits for its start
    EXPECT_EQ(first.ended, 1);
    EXPECT_TRUE(second.steps.empty());
    task.start("Countdown of Modul Test");
    w.loop.runFor(5000);
    EXPECT_EQ(first.steps.size(), 2u);
    EXPECT_EQ(second.steps.back(), "acted");
    {
        Trace third;
        Task dropped = Countdown(third, w, 1);
        dropped.start("Countdown of Modul Test");
        EXPECT_EQ(third.ended, 0);
        // ~Task
        dropped = Task();
        EXPECT_EQ(third.ended, 1);
    }
    // A task never started runs nothing, and its frame goes with its Task.
    auto held = std::make_shared<int>(0);
    {
        Task never = Holding(held);
        EXPECT_EQ(held.use_count(), 2);
    }
    EXPECT_EQ(held.use_count(), 1);
    EXPECT_EQ(*held, 0);
}

TEST(Task, CancelledInsideABoxItOpenedItIsToldAndEndsAtItsNextWait) {
    SimWorld w;
    Trace t;
    Task task;
    task = BoxThenAct(t, [&] { task.cancel(); });
    task.start("BoxThenAct of Modul Test");
    EXPECT_TRUE(task.done());  // its owner has let go of it at once
    EXPECT_EQ(t.steps, (std::vector<std::string>{"box", "dropped"}));
    EXPECT_EQ(t.ended, 1);  // ended itself at its next wait
    w.loop.runFor(1000);
    EXPECT_EQ(t.steps.back(), "dropped");

    Trace kept;
    Task plain = BoxThenAct(kept, [] {});
    plain.start("BoxThenAct of Modul Test");
    EXPECT_EQ(kept.steps, (std::vector<std::string>{"box", "acted"}));
    EXPECT_TRUE(plain.done());
}

namespace {
Task Child(Trace& t, int seconds, std::function<void()> midway = {}) {
    Probe probe{&t.ended};
    t.steps.push_back("child starts");
    co_await Wait(seconds);
    if (midway) midway();
    if (co_await Cancelled{}) co_return;
    t.steps.push_back("child done");
}

Task Parent(Trace& t, Trace& c, int seconds, std::function<void()> midway = {}) {
    Probe probe{&t.ended};
    t.steps.push_back("parent starts");
    Task child = Child(c, seconds, std::move(midway));
    co_await child;
    t.steps.push_back("parent goes on");
    co_await Wait(1);
    t.steps.push_back("parent done");
}
}  // namespace

TEST(Task, AParentWaitsForItsChildAndACancelEndsBoth) {
    {
        SimWorld w;
        Trace p, c;
        Task task = Parent(p, c, 2);
        task.start("Parent of Modul Test");
        w.loop.runFor(10000);
        EXPECT_EQ(p.steps, (std::vector<std::string>{"parent starts", "parent goes on", "parent done"}));
        EXPECT_EQ(c.steps, (std::vector<std::string>{"child starts", "child done"}));
        EXPECT_EQ(p.ended + c.ended, 2);
    }
    {
        SCOPED_TRACE("cancelled while the child waits");
        SimWorld w;
        Trace p, c;
        Task task = Parent(p, c, 2);
        task.start("Parent of Modul Test");
        w.loop.at(1000, "cancel", [&] { task.cancel(); });
        w.loop.runFor(10000);
        EXPECT_EQ(p.steps, (std::vector<std::string>{"parent starts"}));
        EXPECT_EQ(c.steps, (std::vector<std::string>{"child starts"}));
        EXPECT_EQ(p.ended + c.ended, 2);
        EXPECT_FALSE(w.loop.hasPending());
    }
    {
        SCOPED_TRACE("cancelled while the child runs");
        SimWorld w;
        Trace p, c;
        Task task;
        task = Parent(p, c, 2, [&] { task.cancel(); });
        task.start("Parent of Modul Test");
        w.loop.runFor(10000);
        EXPECT_EQ(p.steps, (std::vector<std::string>{"parent starts"}));  // never resumed
        EXPECT_EQ(c.steps, (std::vector<std::string>{"child starts"}));
        EXPECT_EQ(p.ended + c.ended, 2);
    }
}

namespace {
Task Throws(Trace& t) {
    Probe probe{&t.ended};
    co_await Wait(1);
    throw std::runtime_error("lost");
}
}  // namespace

TEST(Task, AFailureThatEscapesIsLoggedUnderItsProcedureAndEndsIt) {
    SimWorld w;
    Trace t;
    Task task = Throws(t);
    task.start("Throws of Modul Test");
    w.loop.runFor(2000);
    EXPECT_TRUE(task.done());
    EXPECT_EQ(t.ended, 1);
    EXPECT_NE(w.errorLog().find("Throws of Modul Test"), std::string::npos);
}

namespace {
Task AwaitProgram(std::uint32_t pid, std::vector<std::string>& out, SimWorld& w) {
    const std::uint32_t code = co_await fWait(pid);
    out.push_back(std::to_string(code) + "@" + std::to_string(w.clock.monotonicMs()));
}
}  // namespace

TEST(Task, TheProgramWaitGivesTheExitCodeAndACancelLeavesTheProgramRunning) {
    SimWorld w;
    w.processes.script("tool", 7, 2450);
    std::vector<std::string> out;
    const std::uint32_t pid = w.processes.start("tool", {}, 1);
    Task task = AwaitProgram(pid, out, w);
    task.start("AwaitProgram of Modul Test");
    w.loop.runFor(5000);
    EXPECT_EQ(out, (std::vector<std::string>{"7@2500"}));  // seen at the next look

    // Unknown process: 0 at once, no wait.
    out.clear();
    Task unknown = AwaitProgram(4242, out, w);
    unknown.start("AwaitProgram of Modul Test");
    EXPECT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].substr(0, 2), "0@");

    // Cancelled: no answer, the program still runs, the loop keeps nothing.
    out.clear();
    w.processes.script("forever", 0, 1000000000);
    const std::uint32_t forever = w.processes.start("forever", {}, 1);
    Task waiting = AwaitProgram(forever, out, w);
    waiting.start("AwaitProgram of Modul Test");
    w.loop.runFor(1000);
    waiting.cancel();
    EXPECT_FALSE(w.loop.hasPending());
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(w.processes.exitCode(forever), platform::StillActive);
}
