// lockpc and lockpcscr as built, on the simulated machine and the terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/RunCommand.h"
#include "support/TestSupport.h"

using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;

namespace {
using Result = nocturo::test::CommandResult;
Result run(const std::string& command) { return nocturo::test::RunCommand(command); }

std::string bin(const char* name) { return std::string(NOCTURO_BUILD_DIR) + "/bin/" + name; }

// A simulated machine whose action log goes into the test's folder.
struct Machine {
    TempDir dir;
    std::string env;
    Machine() {
        env = "NOCTURO_PLATFORM=sim NOCTURO_SIM_PACING=0 NOCTURO_REGISTRY=" + dir / "r.reg" +
              " NOCTURO_SIM_JOURNAL=" + dir / "journal.jsonl" + " ";
        run(env + bin("nocturoctl") + " settings set user txtPathLog " + dir.path());
    }
    std::string actionLog() { return ReadWholeFile(dir / "Nocturo.log"); }
    std::string journal() { return ReadWholeFile(dir / "journal.jsonl"); }
};
}  // namespace

TEST(LockPrograms, HelpAndVersion) {
    for (const char* program : {"lockpc", "lockpcscr"}) {
        Result help = run(bin(program) + " --help");
        EXPECT_EQ(help.code, 0) << program;
        EXPECT_EQ(help.out.rfind(std::string("Usage: ") + program, 0), 0u) << help.out;
        Result version = run(bin(program) + " --version");
        EXPECT_EQ(version.out, std::string(program) + " 1.0.0\n");
        EXPECT_EQ(run(bin(program) + " --bogus").code, 2) << program;
        EXPECT_EQ(run(bin(program) + " stray").code, 2) << program;
    }
}

TEST(LockPrograms, WithoutAnOptionsPasswordTheDesktopsLockTakesOver) {
    Machine m;
    Result r = run(m.env + bin("lockpc") + " --headless < /dev/null");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(m.journal().find("{\"call\":\"LockWorkStation\"}"), std::string::npos) << m.journal();
    EXPECT_NE(m.actionLog().find("LockPC: desktop lock"), std::string::npos) << m.actionLog();
}

TEST(LockPrograms, OnTheTerminalTheLockAsksUntilThePasswordIsRight) {
    Machine m;
    ASSERT_EQ(run(m.env + bin("nocturoctl") + " password set Night0wl").code, 0);
    Result r = run(m.env + "NOCTURO_SIM_ANSWERS='[\"nightowl\",\"Night0wl\"]' " + bin("lockpc") +
                   " --headless < /dev/null");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("Wrong password"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Night0wl"), std::string::npos) << r.out;  // never echoed
    const std::string log = m.actionLog();
    EXPECT_NE(log.find("LockPC: wrong password"), std::string::npos) << log;
    EXPECT_NE(log.find("unlock LockPC"), std::string::npos) << log;
    EXPECT_EQ(m.journal().find("LockWorkStation"), std::string::npos);
}

TEST(LockPrograms, WithNobodyToAnswerTheLockGivesUpWithoutUnlocking) {
    Machine m;
    ASSERT_EQ(run(m.env + bin("nocturoctl") + " password set Night0wl").code, 0);
    Result r = run(m.env + "NOCTURO_SIM_ANSWERS='[\"wrong\"]' " + bin("lockpc") + " --headless < /dev/null");
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_EQ(m.actionLog().find("unlock LockPC"), std::string::npos);
}

TEST(LockPrograms, TheHeadlessScreenSaverEndsOnALineAndPrintsNothing) {
    Machine m;
    Result r = run("echo | " + m.env + "timeout 20 " + bin("lockpcscr") + " --headless");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
}

TEST(LockPrograms, TheHeadlessScreenSaverEndsOnSigterm) {
    Machine m;
    // Its input stays open (read and write ends on a pipe nobody writes to).
    ASSERT_EQ(run("mkfifo " + m.dir / "in").code, 0);
    Result r = run("(" + m.env + bin("lockpcscr") + " --headless <> " + m.dir / "in" +
                   " & pid=$!; sleep 0.5; kill -TERM $pid; wait $pid; echo status $?)");
    EXPECT_NE(r.out.find("status 0"), std::string::npos) << r.out;
}
