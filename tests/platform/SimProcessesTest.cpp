#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/sim/SimEventLoop.h"
#include "platform/sim/SimProcesses.h"

using namespace nocturo::platform;

namespace {

LocalTime Noon() {
    LocalTime t;
    t.year = 2024;
    t.month = 5;
    t.day = 6;
    t.hour = 12;
    return t;
}

}  // namespace

TEST(SimProcesses, StartIsJournalledAndGivesIncreasingIds) {
    Journal journal;
    SimClock clock(Noon());
    SimProcesses processes(journal, clock);
    EXPECT_EQ(processes.start("/usr/bin/backup", {"-v", "a b"}, ws::NormalFocus), 1000u);
    EXPECT_EQ(processes.start("LockPc.exe", {}, ws::NormalNoFocus), 1001u);
    EXPECT_EQ(Json(journal.entries()[0]).dump(),
              R"({"call":"StartProgram","program":"/usr/bin/backup","arguments":["-v","a b"],"windowStyle":1})");
    EXPECT_EQ(Json(journal.entries()[1]).dump(),
              R"({"call":"StartProgram","program":"LockPc.exe","arguments":[],"windowStyle":4})");
    EXPECT_EQ(processes.programOf(1001), std::optional<std::string>("LockPc.exe"));
    EXPECT_EQ(processes.programOf(999), std::nullopt);
}

TEST(SimProcesses, UnscriptedProgramHasEndedAtOnceWithZero) {
    Journal journal;
    SimClock clock(Noon());
    SimProcesses processes(journal, clock);
    auto pid = processes.start("/bin/true", {}, ws::Hide);
    EXPECT_EQ(processes.exitCode(pid), std::optional<std::uint32_t>(0));
    EXPECT_EQ(processes.exitCode(pid + 1), std::nullopt);
    EXPECT_EQ(processes.exitCode(0), std::nullopt);
}

TEST(SimProcesses, ScriptedProgramRunsForItsVirtualTimeThenGivesItsCode) {
    Journal journal;
    SimClock clock(Noon());
    SimProcesses processes(journal, clock);
    processes.script("/usr/bin/backup", 3, 2500);
    clock.advance(100);
    auto pid = processes.start("/usr/bin/backup", {}, ws::NormalFocus);
    EXPECT_EQ(processes.exitCode(pid), std::optional<std::uint32_t>(StillActive));
    clock.advanceTo(2599);
    EXPECT_EQ(processes.exitCode(pid), std::optional<std::uint32_t>(StillActive));
    clock.advanceTo(2600);
    EXPECT_EQ(processes.exitCode(pid), std::optional<std::uint32_t>(3));
    // The script belongs to the exact program text.
    auto other = processes.start("/usr/bin/backup ", {}, ws::NormalFocus);
    EXPECT_EQ(processes.exitCode(other), std::optional<std::uint32_t>(0));
}

TEST(SimProcesses, WaitingForAProgramWhileYieldingEndsWhenItExits) {
    Journal journal;
    SimClock clock(Noon());
    SimEventLoop loop(clock);
    SimProcesses processes(journal, clock);
    processes.script("/usr/bin/backup", 0xFFFFFFFFu, 4000);
    int ticks = 0;
    TimerId timer = loop.addTimer([&] { ++ticks; });
    loop.setTimer(timer, 1000, true);
    auto pid = processes.start("/usr/bin/backup", {}, ws::NormalFocus);
    std::uint32_t code;
    while ((code = processes.exitCode(pid).value_or(0)) == StillActive) loop.yield();
    EXPECT_EQ(code, 0xFFFFFFFFu);
    EXPECT_GE(clock.monotonicMs(), 4000);
    EXPECT_LT(clock.monotonicMs(), 4000 + loop.quantum());
    EXPECT_EQ(ticks, 4);  // the window stayed alive meanwhile
}

TEST(SimProcesses, ScriptedFailureIsJournalledAndThrowsFileNotFound) {
    Journal journal;
    SimClock clock(Noon());
    SimProcesses processes(journal, clock);
    processes.scriptFailure("/nowhere/tool");
    try {
        processes.start("/nowhere/tool", {"x"}, ws::NormalFocus);
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::FileNotFound);
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_EQ(journal.calls(), std::vector<std::string>{"StartProgram"});
    EXPECT_EQ(processes.start("/usr/bin/next", {}, ws::Hide), 1000u);  // no id was used up
}

TEST(SimProcesses, WindowsExistWhenSetOrWhileTheirProgramRuns) {
    Journal journal;
    SimClock clock(Noon());
    SimProcesses processes(journal, clock);
    EXPECT_FALSE(processes.findWindow("Nocturo"));
    processes.addWindow("Nocturo");
    EXPECT_TRUE(processes.findWindow("Nocturo"));
    EXPECT_FALSE(processes.findWindow("nocturo"));  // exact title
    processes.removeWindow("Nocturo");
    EXPECT_FALSE(processes.findWindow("Nocturo"));
    processes.setWindows({"A", "B"});
    EXPECT_TRUE(processes.findWindow("B"));

    SimProcesses::Script lock;
    lock.runMs = 1000;
    lock.windowTitle = "2LockPc2";
    processes.script("LockPc.exe", lock);
    EXPECT_FALSE(processes.findWindow("2LockPc2"));
    processes.start("LockPc.exe", {}, ws::NormalNoFocus);
    EXPECT_TRUE(processes.findWindow("2LockPc2"));
    clock.advance(1000);
    EXPECT_FALSE(processes.findWindow("2LockPc2"));
}

TEST(SimProcesses, OpenDocumentIsJournalledAndTheInstanceLockIsInjected) {
    Journal journal;
    SimClock clock(Noon());
    SimProcesses processes(journal, clock);
    processes.openDocument("https://example.org/versions.txt");
    EXPECT_EQ(Json(journal.entries()[0]).dump(), R"({"call":"OpenDocument","path":"https://example.org/versions.txt"})");

    EXPECT_TRUE(processes.acquireInstanceLock("Nocturo"));
    EXPECT_TRUE(processes.acquireInstanceLock("Nocturo"));
    std::set<std::string> held;
    processes.setInstanceLock([&](const std::string& key) { return held.insert(key).second; });
    EXPECT_TRUE(processes.acquireInstanceLock("Nocturo"));
    EXPECT_FALSE(processes.acquireInstanceLock("Nocturo"));
    EXPECT_TRUE(processes.acquireInstanceLock("Other"));
    EXPECT_EQ(journal.entries().size(), 1u);  // locks are not journalled
}
